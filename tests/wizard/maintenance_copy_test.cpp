// The maintenance copy made as root: a medium of its own (its SHA256SUMS lists every file),
// root's alone, and the packages of exactly one version before the last upgrade.
#include "wizard/maintenance_copy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "services/medium_manifest.h"
#include "wizard/install_record.h"

namespace {

TEST(MaintenanceCopy, KeepsTheVersionBeforeTheLastUpgradeOnly) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the copy is root's";
    char name[] = "/tmp/stage3-copy-test.XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string root = name;
    setInstallRecordDirectory(root + "/records");
    ASSERT_EQ(mkdir((root + "/records").c_str(), 0755), 0);
    const std::string copy = maintenanceCopyPath("app");
    // (application version installed, the package kept in previous/ afterwards)
    const std::pair<const char*, const char*> runs[] = {
        {"1", ""}, {"1", ""}, {"2", "app-1.rpm"}, {"2", "app-1.rpm"}, {"3", "app-2.rpm"}};
    for (const auto& [version, previous] : runs) {
        const std::string medium = root + "/medium" + version;
        const std::string package = std::string("app-") + version + ".rpm";
        mkdir(medium.c_str(), 0755);
        mkdir((medium + "/de").c_str(), 0755);
        for (const char* file : {"license.txt", "de/license.txt", "setupresDB", "x.rpm"})
            std::ofstream(medium + "/" + file) << file << version;
        std::ofstream(medium + "/" + package) << "package " << version;
        std::string error;
        ASSERT_TRUE(makeMaintenanceCopy("app", medium, {{medium + "/" + package, package}}, package,
                                        true, &error))
            << error;
        struct stat info;
        ASSERT_EQ(lstat(copy.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        const MediumCheck check = checkMedium(copy);
        EXPECT_TRUE(check.manifest == ManifestState::Read && check.acceptable()) << version;
        // The package installed, the medium's files but its other packages.
        EXPECT_EQ(access((copy + "/" + package).c_str(), F_OK), 0) << version;
        EXPECT_EQ(access((copy + "/de/license.txt").c_str(), F_OK), 0) << version;
        EXPECT_NE(access((copy + "/x.rpm").c_str(), F_OK), 0) << version;
        std::size_t kept = 0;
        for (const FileCheck& file : check.files) {
            if (file.path.rfind("previous/", 0) != 0)
                continue;
            ++kept;
            EXPECT_EQ(file.path, std::string("previous/") + previous) << version;
        }
        EXPECT_EQ(kept, *previous ? 1u : 0u) << version;
    }
    std::string error;
    EXPECT_TRUE(removeMaintenanceCopy("app", &error));
    EXPECT_NE(access(copy.c_str(), F_OK), 0);
    setInstallRecordDirectory("/var/lib/stage3");
    std::system(("rm -rf '" + root + "'").c_str());
}

}  // namespace
