// The install log: a record of every run that reaches the install, in every mode.
#pragma once

#include <cstddef>
#include <string>

// Where the next log goes: `path` as given (--log), or, when empty, the default place:
// /var/log/stage3/install-<UTC time>.log as root, else install-<UTC time>.log under
// $XDG_STATE_HOME/stage3 (or ~/.local/state/stage3).
void setInstallLogPath(const std::string& path);

// The default place's directory for this user (as root /var/log/stage3).
std::string installLogDirectory();

// Makes the log named with --log at once, exclusively (never through a link) with mode
// 0600, so that a log that cannot be made stops the run before anything is installed;
// the install writes to this file. 0, or the errno of the failure. Nothing to do
// without a named log.
int createNamedInstallLog();
// Removes the named log again when no install took it and it is still the empty file
// made (a run that ended before its install).
void discardUnusedInstallLog();

// Opens the log: the named one, else one created exclusively (never through a link)
// with mode 0600 in the default place, its directory made with mode 0700 when missing.
// As root the default directory is used only when it is root's own and not writable by
// group or others. False when it cannot be written; the install goes on without it
// then.
bool openInstallLog();
// The path of the open log, or the one that could not be written (the directory, when
// installLogDirectoryRefused).
const std::string& installLogPath();
bool installLogOpen();
// Whether the log of the last run was opened (it may be closed again since).
bool installLogWritten();
// Whether the last log was not written because root's default log directory is not
// root's own or others can write to it.
bool installLogDirectoryRefused();

// Appends install output as a terminal would show it (no control characters but tab
// and newline). Once the log reaches its limit (64 MiB) one line says that the rest of
// the output was dropped, and further output is.
void writeInstallLog(const std::string& text);
// Appends "name: value" on a line of its own, also after output was dropped.
void writeInstallLogField(const std::string& name, const std::string& value);
void closeInstallLog();

// For tests: the size at which output stops being written.
void setInstallLogLimit(std::size_t bytes);
