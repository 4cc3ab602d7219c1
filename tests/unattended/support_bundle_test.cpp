#include "unattended/support_bundle.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> names(const std::vector<BundleItem>& items) {
    std::vector<std::string> result;
    for (const BundleItem& item : items) result.push_back(item.name);
    return result;
}

TEST(SupportBundle, HoldsWhatTheHostHasAndTheLastFiveLogs) {
    const std::vector<std::string> system = {"system/secure-boot", "system/kernel-release",
                                             "system/os-release", "system/medium"};
    auto with = [&system](std::vector<std::string> first) {
        first.insert(first.begin(), "MANIFEST");
        first.insert(first.end(), system.begin(), system.end());
        return first;
    };
    BundleHost bare;
    BundleHost installed;
    installed.application = "quorvel-storman";
    installed.record = installed.history = true;
    for (int i = 1; i <= 7; ++i)
        installed.logs.push_back("install-2026120" + std::to_string(i) + "T000000Z.log");
    installed.packages = {"quorvel-storman", "holvane"};
    installed.modules = {"holvane"};
    BundleHost refusedHistory = installed;
    refusedHistory.history = false;
    refusedHistory.logs.resize(2);
    refusedHistory.modules.clear();
    struct Case {
        const char* what;
        BundleHost host;
        std::vector<std::string> expected;
    } cases[] = {
        {"nothing installed", bare, with({})},
        {"installed with the driver's module", installed,
         with({"logs/install-20261203T000000Z.log", "logs/install-20261204T000000Z.log",
               "logs/install-20261205T000000Z.log", "logs/install-20261206T000000Z.log",
               "logs/install-20261207T000000Z.log", "record/quorvel-storman.ini",
               "record/quorvel-storman.history", "packages/quorvel-storman.rpm-qi",
               "packages/quorvel-storman.rpm-V", "packages/holvane.rpm-qi",
               "packages/holvane.rpm-V", "modules/holvane.modinfo", "modules/holvane.loaded",
               "modules/holvane.dmesg"})},
        {"history not used, no module", refusedHistory,
         with({"logs/install-20261201T000000Z.log", "logs/install-20261202T000000Z.log",
               "record/quorvel-storman.ini", "packages/quorvel-storman.rpm-qi",
               "packages/quorvel-storman.rpm-V", "packages/holvane.rpm-qi",
               "packages/holvane.rpm-V"})},
    };
    for (const Case& c : cases) {
        const std::vector<BundleItem> items = bundleItems(c.host);
        EXPECT_EQ(names(items), c.expected) << c.what;
        // The MANIFEST names every file, itself included, one a line.
        const std::string manifest = bundleManifest(items);
        EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\n'),
                  static_cast<long>(items.size()))
            << c.what;
    }
    // A name that is no file name of the archive stays inside its folder.
    BundleHost odd;
    odd.packages = {"../etc/passwd"};
    EXPECT_EQ(bundleItems(odd)[1].name, "packages/_.._etc_passwd.rpm-qi");
}

}  // namespace
