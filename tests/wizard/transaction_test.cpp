#include "wizard/transaction.h"

#include <gtest/gtest.h>

#include <string>

#include "wizard/tables.h"

namespace {

// The medium of these cases: driver 1.2.3-4, application 3.C-1, add-on 1.0-1.
MediumPackages medium(bool driverFile = true) {
    MediumPackages m;
    if (driverFile)
        m.driver = {"holvane", "/m/holvane-1.2.3-4.noarch.rpm", "1.2.3-4"};
    m.application = {"quorvel-storman", "/m/quorvel-storman-3.C-1.noarch.rpm", "3.C-1"};
    m.addons = {{"quorvel-browser", "/m/quorvel-browser-1.0-1.noarch.rpm", "1.0-1"}};
    return m;
}

// "package:action" of each step, and the names of the files rpm is given, blank-separated.
std::string said(const Transaction& t, std::string* tested) {
    std::string steps;
    tested->clear();
    for (const TransactionStep& step : t.steps)
        steps += (steps.empty() ? "" : " ") + step.package + ":" + stepActionName(step.action);
    for (const TransactionPackage& package : t.packagesToInstall())
        *tested +=
            (tested->empty() ? "" : " ") + package.path.substr(3, package.path.find('-') - 3);
    return steps;
}

// What each package comes to, for each action over the host's states.
TEST(Transaction, StepsOverHostStatesAndActions) {
    const int typical = COMPONENT_DRIVER | COMPONENT_WEB_SERVER | COMPONENT_NOTIFIER;
    struct Case {
        const char* what;
        Action action;
        int components;
        const char *app, *driver, *addon;  // installed versions, "" for none
        RecordState record;
        bool driverFile, removeDriver;
        const char* steps;
        const char* tested;  // the packages rpm checks and tests
    } cases[] = {
        {"nothing installed", Action::Install, typical, "", "", "", RecordState::Missing, true,
         false, "holvane:install quorvel-browser:install quorvel-storman:install",
         "holvane quorvel quorvel"},
        {"older application, same add-on and driver", Action::Install, typical, "3.B-2", "1.2.3-4",
         "1.0-1", RecordState::Read, true, false,
         "holvane:keep quorvel-browser:keep quorvel-storman:upgrade", "quorvel"},
        {"older application, add-on and driver", Action::Install, typical, "3.B-2", "1.2.3-1",
         "0.9-3", RecordState::Read, true, false,
         "holvane:upgrade quorvel-browser:upgrade quorvel-storman:upgrade",
         "holvane quorvel quorvel"},
        {"newer everything", Action::Install, typical, "3.D-1", "1.2.3-9", "1.0-10",
         RecordState::Missing, true, false,
         "holvane:kept-newer quorvel-browser:kept-newer quorvel-storman:kept-newer", ""},
        {"newer driver not chosen", Action::Install, COMPONENT_NOTIFIER, "", "1.2.3-9", "",
         RecordState::Missing, true, false, "holvane:kept-newer quorvel-storman:install",
         "quorvel"},
        {"no driver file, none installed", Action::Install, typical, "", "", "",
         RecordState::Missing, false, false, "quorvel-browser:install quorvel-storman:install",
         "quorvel quorvel"},
        {"repair of all three", Action::Repair, typical, "3.C-1", "1.2.3-4", "1.0-1",
         RecordState::Missing, true, false,
         "holvane:reinstall quorvel-browser:reinstall quorvel-storman:reinstall",
         "holvane quorvel quorvel"},
        {"repair: another driver, no add-on nor record", Action::Repair, typical, "3.C-1",
         "1.2.3-1", "", RecordState::Missing, true, false, "quorvel-storman:reinstall", "quorvel"},
        {"repair by a record", Action::Repair, COMPONENT_WEB_SERVER, "3.C-1", "", "",
         RecordState::Read, true, false, "quorvel-browser:install quorvel-storman:reinstall",
         "quorvel quorvel"},
        {"modify to the web server and the driver", Action::Modify, typical, "3.C-1", "", "",
         RecordState::Read, true, false,
         "holvane:install quorvel-browser:install quorvel-storman:reinstall",
         "holvane quorvel quorvel"},
        {"modify keeps the add-on as it is", Action::Modify, COMPONENT_WEB_SERVER, "3.C-1", "",
         "1.0-1", RecordState::Read, true, false, "quorvel-browser:keep quorvel-storman:reinstall",
         "quorvel"},
        {"modify without the web server", Action::Modify, COMPONENT_NOTIFIER, "3.C-1", "1.2.3-4",
         "1.0-1", RecordState::Read, true, false,
         "quorvel-browser:remove quorvel-storman:reinstall", "quorvel"},
        {"remove of an older version", Action::Remove, typical, "3.B-2", "1.2.3-4", "1.0-1",
         RecordState::Read, true, false, "quorvel-browser:remove quorvel-storman:remove", ""},
        {"remove with the driver, no file on the medium", Action::Remove, typical, "3.B-2",
         "1.2.3-4", "", RecordState::Missing, false, true, "quorvel-storman:remove holvane:remove",
         ""},
        {"remove of nothing", Action::Remove, typical, "", "", "", RecordState::Missing, true, true,
         "", ""},
    };
    for (const Case& c : cases) {
        InstalledState state;
        state.applicationPackage = "quorvel-storman";
        state.driverPackage = "holvane";
        state.addonPackage = "quorvel-browser";
        state.application = c.app;
        state.driver = c.driver;
        state.addon = c.addon;
        state.recordState = c.record;
        Selection selection;
        selection.components = c.components;
        const Transaction t =
            buildTransaction(c.action, selection, state, medium(c.driverFile), c.removeDriver);
        std::string tested;
        EXPECT_EQ(said(t, &tested), c.steps) << c.what;
        EXPECT_EQ(tested, c.tested) << c.what;
        // The script runs exactly the steps that change something; a repair replaces.
        const std::string script = transactionScriptText(t, "/d");
        const std::string last = std::to_string(t.runningSteps().size());
        EXPECT_EQ(script.find("%% step " + last + " of " + last + "\"") != std::string::npos,
                  !t.runningSteps().empty())
            << c.what;
        for (const TransactionStep& step : t.steps) {
            const bool inScript = script.find("'" + (step.path.empty() ? step.package : step.path) +
                                              "'") != std::string::npos;
            EXPECT_EQ(inScript, step.runs()) << c.what << ": " << step.package;
            if (c.action == Action::Repair && step.installs()) {
                EXPECT_NE(script.find("--replacepkgs"), std::string::npos) << c.what;
            }
        }
    }
}

TEST(Transaction, VersionOrder) {
    struct Case {
        const char *a, *b;
        bool application;
        int order;
    } cases[] = {
        {"3.C-1", "3.B-2", true, 1},       {"3.B-2", "3.B-2", true, 0},
        {"3.9-1", "3.A-1", true, -1},      {"1.0-10", "1.0-9", false, 1},
        {"1.2.3-4", "1.2.3-9", false, -1}, {"1.0a-1", "1.0-1", false, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compareVersionTexts(c.a, c.b, c.application), c.order) << c.a << " " << c.b;
}

}  // namespace
