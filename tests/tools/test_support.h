// Helpers of the resdb tool tests: scratch directories, whole-file access and
// running the built resdb binary.
#ifndef STAGE3_TESTS_TOOLS_TEST_SUPPORT_H
#define STAGE3_TESTS_TOOLS_TEST_SUPPORT_H

#include <string>
#include <vector>

// A fresh directory, removed with its contents when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the directory, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// Names of the entries of any directory, sorted.
std::vector<std::string> directoryEntries(const std::string& path);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);
std::string dataPath(const std::string& relative);

struct ToolRun {
    bool exited = false;     // false when the child died from a signal
    int status = -1;         // exit status when exited
    std::string out;
    std::string err;
};

// Runs the resdb binary with `args`. A non-zero `fileSizeLimit` caps the size
// of files the child may write (RLIMIT_FSIZE, with SIGXFSZ ignored), so that
// writes fail part way.
ToolRun runTool(const std::vector<std::string>& args, unsigned long fileSizeLimit = 0);

#endif
