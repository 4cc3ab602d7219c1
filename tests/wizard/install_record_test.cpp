#include "wizard/install_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

namespace {

InstallRecord sample() {
    InstallRecord r;
    r.setupType = "custom";
    r.components = {"managed-system", "notifier", "driver"};
    r.applicationVersion = "3.Z-9";
    r.driverVersion = "1.3.0-1";
    r.medium = "/media/cdrom";
    r.manifestDigest = std::string(64, 'a');
    r.time = "2026-12-07T19:30:00Z";
    r.log = "/var/log/stage3/install-20261207T193000Z.log";
    return r;
}

bool same(const InstallRecord& a, const InstallRecord& b) {
    return a.setupType == b.setupType && a.components == b.components &&
           a.applicationVersion == b.applicationVersion && a.driverVersion == b.driverVersion &&
           a.addonVersion == b.addonVersion && a.medium == b.medium &&
           a.manifestDigest == b.manifestDigest && a.time == b.time && a.log == b.log;
}

TEST(InstallRecord, KeyFileKeepsEveryFieldAndRefusesWhatIsNoRecord) {
    InstallRecord back;
    std::string error;
    ASSERT_TRUE(parseInstallRecord(formatInstallRecord(sample()), &back, &error)) << error;
    EXPECT_TRUE(same(back, sample()));
    // A value with a newline or the list separator stays one value.
    InstallRecord odd = sample();
    odd.medium = "/media/a;b\n[install]\nsetup-type=compact";
    ASSERT_TRUE(parseInstallRecord(formatInstallRecord(odd), &back, &error)) << error;
    EXPECT_TRUE(same(back, odd));

    for (const char* text : {"", "[stage3]\nsetup-type=typical\n",
                             "[install]\nsetup-type=everything\n", "not a key file"})
        EXPECT_FALSE(parseInstallRecord(text, &back, &error)) << text;
}

TEST(InstallRecord, WrittenAndReadOnlyWhereNoOtherAccountCouldHaveWritten) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root";
    char base[] = "/tmp/stage3-record-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const std::string directory = std::string(base) + "/records";
    setInstallRecordDirectory(directory);
    const std::string path = installRecordPath("quorvel-storman");
    EXPECT_EQ(path, directory + "/quorvel-storman.ini");
    for (const char* bad : {"", "../etc/x", ".hidden"})
        EXPECT_EQ(installRecordPath(bad), "") << bad;

    InstallRecord read;
    std::string error;
    EXPECT_EQ(readInstallRecord("quorvel-storman", &read, &error), RecordState::Missing);
    ASSERT_TRUE(writeInstallRecord("quorvel-storman", sample(), &error)) << error;
    struct stat info;
    ASSERT_EQ(stat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    ASSERT_EQ(readInstallRecord("quorvel-storman", &read, &error), RecordState::Read) << error;
    EXPECT_TRUE(same(read, sample()));

    // What another account could have changed is refused, and put back after each case.
    struct Case {
        const char* what;
        std::function<void()> spoil, restore;
    };
    const Case cases[] = {
        {"record of another account", [&] { (void)!chown(path.c_str(), 65534, 65534); },
         [&] { (void)!chown(path.c_str(), 0, 0); }},
        {"record others can write", [&] { chmod(path.c_str(), 0666); },
         [&] { chmod(path.c_str(), 0644); }},
        {"directory others can write", [&] { chmod(directory.c_str(), 0777); },
         [&] { chmod(directory.c_str(), 0755); }},
        {"record a link",
         [&] {
             rename(path.c_str(), (path + ".real").c_str());
             (void)!symlink((path + ".real").c_str(), path.c_str());
         },
         [&] { rename((path + ".real").c_str(), path.c_str()); }},
        {"record a FIFO",
         [&] {
             rename(path.c_str(), (path + ".real").c_str());
             mkfifo(path.c_str(), 0644);
         },
         [&] {
             unlink(path.c_str());
             rename((path + ".real").c_str(), path.c_str());
         }},
    };
    for (const Case& c : cases) {
        c.spoil();
        EXPECT_EQ(readInstallRecord("quorvel-storman", &read, &error), RecordState::Refused)
            << c.what;
        if (std::string(c.what) == "directory others can write") {
            EXPECT_FALSE(writeInstallRecord("quorvel-storman", sample(), &error));
        }
        c.restore();
        EXPECT_EQ(readInstallRecord("quorvel-storman", &read, &error), RecordState::Read)
            << c.what << ": " << error;
    }

    EXPECT_TRUE(removeInstallRecord("quorvel-storman", &error));
    EXPECT_EQ(readInstallRecord("quorvel-storman", &read, &error), RecordState::Missing);
    setInstallRecordDirectory("/var/lib/stage3");
    EXPECT_EQ(system(("rm -rf " + std::string(base)).c_str()), 0);
}

}  // namespace
