// A fresh directory for one test under the temporary directory ($TMPDIR, else
// /tmp), removed with everything in it when the object goes.
#ifndef STAGE3_TESTS_SUPPORT_SCRATCH_DIR_H
#define STAGE3_TESTS_SUPPORT_SCRATCH_DIR_H

#include <string>
#include <vector>

class ScratchDir {
  public:
    // The directory is named <prefix>-XXXXXX; std::runtime_error when it
    // cannot be made.
    explicit ScratchDir(const std::string& prefix = "stage3-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of `name` (which may hold subdirectories) inside the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the directory, sorted.
    std::vector<std::string> entries() const;
    // True while the directory is there.
    bool ok() const;

  private:
    std::string path_;
};

// Names of the entries of any directory, sorted; std::filesystem::filesystem_error
// when it cannot be read.
std::vector<std::string> directoryEntries(const std::string& path);

#endif
