// resdb: builds the wizard's resource database from gettext PO files, and
// lists, reads and unpacks existing databases. See resdb_commands.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/resdb_commands.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return runResdb(args, std::cout, std::cerr);
}

#if defined(__SANITIZE_ADDRESS__)
// libgettextpo keeps some of its parser's allocations to the end of the
// process. Sanitizer builds run the tool at build time, where no suppression
// file is given, so the suppression travels with the program.
// The report of suppressions used would clutter the tool's standard error.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgettextpo\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif
