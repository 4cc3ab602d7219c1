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
