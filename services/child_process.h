// Running other programs from the wizard.
//
// The resource database's file is closed while a child is created and loaded again
// right after it, so that no child ever holds it (the string service's close/reload
// around every child); the file is also opened close-on-exec.
#pragma once

#include <string>
#include <vector>

// Runs `argv` (argv[0] searched in PATH) with standard input from /dev/null, standard
// error discarded and standard output read up to the end of its first line, then waits
// for it to end. `line` gets that line without its newline. False when the program
// could not be started or printed nothing.
bool firstOutputLine(const std::vector<std::string>& argv, std::string* line);
