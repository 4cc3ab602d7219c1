// The install log: a record of every run that reaches the install, in every mode.
#pragma once

#include <string>

// Where the next log goes: `path` as given (--log), or, when empty, the default place:
// /var/log/stage3/install-<UTC time>.log as root, else install-<UTC time>.log under
// $XDG_STATE_HOME/stage3 (or ~/.local/state/stage3).
void setInstallLogPath(const std::string& path);

// Opens the log: created exclusively (never through a link) with mode 0600, its
// directory made with mode 0700 when missing. False when it cannot be written; the
// install goes on without it then.
bool openInstallLog();
// The path of the open log, or the one that could not be written.
const std::string& installLogPath();
bool installLogOpen();
// Whether the log of the last run was opened (it may be closed again since).
bool installLogWritten();

// Appends text as it is (output lines carry their own newlines).
void writeInstallLog(const std::string& text);
// Appends "name: value" on a line of its own.
void writeInstallLogField(const std::string& name, const std::string& value);
void closeInstallLog();
