// The start-up of every mode: the checks that may refuse, the start marker, and the lines
// the wizard writes to standard error.
#pragma once

#include <string>
#include <vector>

#include "resdb/resource.h"
#include "services/files.h"
#include "wizard/run_error.h"

struct InstallRun;

// As root, checks that no other account could change the medium; then loads the texts
// and checks that there is something to install (the medium's application is neither
// installed already nor older than the installed one), a license to show and package
// files that rpm can take as they are named. Returns 0 when setup can go on;
// otherwise the refusal was written to standard error and the result is the exit
// status (1). The refusal's lines and kind are kept in `run` (startupRefusal).
int checkStartupPreconditions(InstallRun& run);
// As root, whether an account other than the trusted ones (trustedMediumOwners) could
// change the medium in `directory` (findMediumFault); when so, the refusal was written
// to standard error in the program's own texts. Always false for a normal user.
bool refuseChangeableMedium(const std::string& directory);

// Opens the program file at `path` to be run from the descriptor (fexecve), so that the
// file judged is the file run: as root, a regular file, not a link, that no untrusted
// account can change, nor the directories above it (openTrustedProgram). Returns the
// descriptor, or -1: with `*refused`, the refusal was written to standard error;
// without, the file cannot be opened (errno says why).
int openProgramToRun(const std::string& path, bool* refused);

// The start marker that exists while the wizard runs as root (as a normal user, while
// its install runs as root); the file this run made there is in InstallRun::startMarker.
extern const char* const StartMarkerPath;

// Creates the start marker as root, unless the one this run made is still there; a
// warning line when it cannot be made. Nothing while another install holds the install
// lock: the marker there is that install's.
void createStartMarker(InstallRun& run);
// Removes the start marker when it is still the one this run made.
void removeStartMarker(const InstallRun& run);

// Writes `text` to standard error as one line, without the control characters that
// could command the user's terminal.
void writeErrorLine(const char* text);
// The same for the text of a resource.
void writeErrorLine(const ResourceID_C& id);
