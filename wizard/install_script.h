// The settings file and the install script written when the install starts.
#pragma once

#include <cstdio>
#include <string>

extern const char* const InstallSettingsPath;  // "/tmp/quorvelInstallSettings"
extern const char* const InstallErrorPath;     // "/tmp/quorvelInstallError"

// The files the script sources, runs and writes live in a directory of this run that
// only the wizard's user can enter, "/tmp/stage3-install.XXXXXX": nobody else can
// put, swap or link anything there. The fixed names in /tmp, which other programs may
// read, are made afresh beside it for them (the settings file when the install starts,
// the error file when it has failed); the wizard itself never reads them.
extern char installDirectory[64];

// Path of the current install script, "<installDirectory>/quorvelInst.<pid>"; empty
// until composed.
extern char scriptName[64];

// The settings file's text for a component selection.
std::string settingsFileText(int componentsSelected, bool kernelRebuild);

// The script's text. driverPath is null when the driver is not installed; oem is the
// maker's prefix used for the browser add-on packages; directory holds the settings
// file the script reads and the error file it writes.
std::string shellScriptText(const char* driverPath, const char* appPath, const char* oem,
                            const char* directory);

// Writes the whole script to out, taking the package paths from the medium.
// Always returns 1.
int createShellScript(FILE* out, int installDriver);

enum class InstallFiles { Ready, NothingSelected, Failed };

// Writes the settings file and the script for the current selection. Failed when a
// file cannot be made safely; nothing must run then.
InstallFiles writeInstallFiles();

// Whether this run's script recorded a failed rpm step. When it did, its status is
// also placed at the fixed error name for whoever looks there.
bool installErrorRecorded();

// Removes the settings file and the script with this run's directory.
void removeInstallFiles();
