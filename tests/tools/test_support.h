// Helpers of the resdb tool tests: their data files and running the built resdb
// binary; scratch directories and whole-file access come from tests/support.
#ifndef STAGE3_TESTS_TOOLS_TEST_SUPPORT_H
#define STAGE3_TESTS_TOOLS_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

// Path of a file under the tests' data directory.
std::string dataPath(const std::string& relative);

struct ToolRun {
    bool exited = false;  // false when the child died from a signal
    int status = -1;      // exit status when exited
    std::string out;
    std::string err;
};

// Runs the resdb binary with `args`. A non-zero `fileSizeLimit` caps the size
// of files the child may write (RLIMIT_FSIZE, with SIGXFSZ ignored), so that
// writes fail part way.
ToolRun runTool(const std::vector<std::string>& args, unsigned long fileSizeLimit = 0);

#endif
