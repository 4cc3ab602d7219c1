#include "wizard/maintenance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#include "services/packages.h"
#include "tests/support/rpm_sandbox.h"
#include "wizard/tables.h"

namespace {

TEST(Maintenance, VersionsFromPackageFileNames) {
    struct Case {
        const char* file;
        const char* name;
        const char* version;
    } cases[] = {
        {"/m/quorvel-browser-1.0-1.noarch.rpm", "quorvel-browser", "1.0-1"},
        {"quorvel-browser-2.3.4-5.el9.x86_64.rpm", "quorvel-browser", "2.3.4-5.el9"},
        {"quorvel-browser-extra-1.0-1.noarch.rpm", "quorvel-browser", ""},  // another package
        {"quorvel-browser-1.0-1.noarch.rpm.sig", "quorvel-browser", ""},
        {"quorvel-browser-1.0.rpm", "quorvel-browser", ""},  // no release
        {"quorvel-browser-1.0-1.noarch.rpm", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(packageFileVersion(c.file, c.name), c.version) << c.file;
}

TEST(Maintenance, RecordedChoicesAsASelection) {
    InstallRecord record;
    record.setupType = "custom";
    record.components = {"web-server", "driver"};
    Selection selection;
    ASSERT_TRUE(recordedSelection(record, &selection));
    EXPECT_EQ(selection.setupType, CustomSetupType);
    EXPECT_EQ(selection.components, COMPONENT_WEB_SERVER | COMPONENT_DRIVER);
    // A record this program cannot read leaves the selection as it was.
    InstallRecord odd = record;
    odd.components.push_back("teleporter");
    Selection kept;
    EXPECT_FALSE(recordedSelection(odd, &kept));
    EXPECT_EQ(kept.components, 0);
    record.setupType = "everything";
    EXPECT_FALSE(recordedSelection(record, &selection));
}

TEST(Maintenance, RecordAgreesWithRpm) {
    InstalledState state;
    state.recordState = RecordState::Read;
    state.record.applicationVersion = state.application = "3.B-2";
    state.record.driverVersion = state.driver = "1.2.3-4";
    struct Case {
        const char* what;
        std::function<void(InstalledState&)> change;
        const char* agreement;
    } cases[] = {
        {"as recorded", [](InstalledState&) {}, "matches"},
        {"application removed by hand", [](InstalledState& s) { s.application.clear(); }, "stale"},
        {"driver upgraded by hand", [](InstalledState& s) { s.driver = "1.2.4-1"; }, "stale"},
        {"add-on installed by hand", [](InstalledState& s) { s.addon = "1.0-1"; }, "stale"},
        {"no record", [](InstalledState& s) { s.recordState = RecordState::Missing; }, "missing"},
        {"record not used", [](InstalledState& s) { s.recordState = RecordState::Refused; },
         "missing"},
    };
    for (const Case& c : cases) {
        InstalledState changed = state;
        c.change(changed);
        EXPECT_STREQ(recordAgreement(changed), c.agreement) << c.what;
    }
}

// The root side's record lines, run by the shell as root against a directory of records.
class RootSideRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/stage3-record-test.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        records_ = root_ + "/records";
        setInstallRecordDirectory(records_);
        source_ = root_ + "/record.ini";
        std::ofstream(source_) << "[install]\nsetup-type=typical\n";
        // rpm asks a private database that does not exist, never the machine's.
        std::ofstream(root_ + "/.rpmmacros") << "%_dbpath " << root_ << "/rpmdb\n";
    }
    void TearDown() override {
        setInstallRecordDirectory("/var/lib/stage3");
        std::system(("rm -rf '" + root_ + "'").c_str());
    }
    int run(Action action, int status) {
        std::string script = root_ + "/script.sh";
        std::ofstream(script) << "status=" << status << "\n"
                              << rootSideRecordText(action, source_, "quorvel-e2e-none");
        return std::system(("HOME='" + root_ + "' /bin/sh '" + script + "'").c_str());
    }
    bool recorded() { return access(installRecordPath("quorvel-e2e-none").c_str(), F_OK) == 0; }

    std::string root_, records_, source_;
};

TEST_F(RootSideRecord, WrittenOnlyAfterSuccessIntoADirectoryNoOneElseCanWrite) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the record's directory must be root's own";
    struct Case {
        const char* name;
        int status;
        mode_t directoryMode;  // 0: made by the script
        bool written;
    } cases[] = {
        {"made with the directory", 0, 0, true},
        {"failed run", 1, 0, false},
        {"directory others can write to", 0, 0777, false},
        {"directory its group can write to", 0, 0775, false},
        {"directory root's own", 0, 0755, true},
    };
    for (const Case& c : cases) {
        std::system(("rm -rf '" + records_ + "'").c_str());
        if (c.directoryMode) {
            ASSERT_EQ(mkdir(records_.c_str(), 0700), 0);
            ASSERT_EQ(chmod(records_.c_str(), c.directoryMode), 0);
        }
        run(Action::Install, c.status);
        EXPECT_EQ(recorded(), c.written) << c.name;
        struct stat info;
        if (c.written && stat(installRecordPath("quorvel-e2e-none").c_str(), &info) == 0) {
            EXPECT_EQ(info.st_mode & 07777, 0644u) << c.name;
        }
    }
    // A remove takes the record away once rpm no longer knows the application.
    ASSERT_TRUE(recorded());
    run(Action::Remove, 1);
    EXPECT_FALSE(recorded());
}

// Without a directory given, the root side finds it from its own rpm's database (here
// HOME's private one), whatever the user's side thought.
TEST_F(RootSideRecord, PlacedBesideTheDatabaseOfRootsOwnRpm) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the record's directory must be root's own";
    setInstallRecordDirectory("");
    run(Action::Install, 0);
    EXPECT_EQ(access((root_ + "/stage3-records/quorvel-e2e-none.ini").c_str(), F_OK), 0);
}

}  // namespace
