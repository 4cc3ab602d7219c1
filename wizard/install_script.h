// The settings file and the install script written when the install starts.
#pragma once

#include <cstdio>
#include <string>

extern const char* const InstallSettingsPath;  // "/tmp/quorvelInstallSettings"
extern const char* const InstallErrorPath;     // "/tmp/quorvelInstallError"

// Path of the current install script, "/tmp/quorvelInst.<pid>"; empty until composed.
extern char scriptName[64];

// The settings file's text for a component selection.
std::string settingsFileText(int componentsSelected, bool kernelRebuild);

// The script's text. driverPath is null when the driver is not installed; oem is the
// maker's prefix used for the browser add-on packages.
std::string shellScriptText(const char* driverPath, const char* appPath, const char* oem);

// Writes the whole script to out, taking the package paths from the medium.
// Always returns 1.
int createShellScript(FILE* out, int installDriver);

// Creates path afresh for writing by its owner only: a file or link already there is
// removed first and the new file is created exclusively, never through a link.
// Returns null when that is not possible.
FILE* createPrivateFile(const char* path);

enum class InstallFiles { Ready, NothingSelected, Failed };

// Writes the settings file and the script for the current selection.
InstallFiles writeInstallFiles();

// Removes the settings file and the script.
void removeInstallFiles();
