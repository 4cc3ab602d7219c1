// The wizard's rules without a display: which pages are shown, where Next and Back
// lead, how the setup type presets the components, what locks a component, and how
// the choices of a command line are applied.
#include "wizard/wizard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services/switches.h"
#include "wizard/install_session.h"
#include "wizard/run_result.h"
#include "wizard/text_ids.h"

namespace {

std::vector<int> pageTitles(const Wizard& wizard) {
    std::vector<int> titles;
    for (int i = 0; i < wizard.pageCount(); ++i) titles.push_back(wizard.page(i).titleId);
    return titles;
}

HostFacts host(int driverCheck, int snmpSupported, int webServer, int wantsSnmpUnderTypical) {
    HostFacts facts;
    facts.driverCheck = driverCheck;
    facts.snmpSupported = snmpSupported;
    facts.webServerAvailable = webServer;
    facts.wantsSnmpUnderTypical = wantsSnmpUnderTypical;
    return facts;
}

PageRules rules(int autoSelect, int showLicense = 1, int kernelRebuild = 0) {
    PageRules pageRules;
    pageRules.autoSelect = autoSelect;
    pageRules.showLicense = showLicense;
    pageRules.kernelRebuild = kernelRebuild;
    return pageRules;
}

const HostFacts Plain = host(0, 1, 1, 1);

TEST(WizardCore, StartChoosesThePagesAndPresetsTheSetupType) {
    // Page titles: welcome 28, license 29, setup type 31, components 32, kernel rebuild 59,
    // review 33, run 34, finish 35.
    const std::vector<int> all = {28, 29, 31, 32, 33, 34, 35};
    const std::vector<int> noLicense = {28, 31, 32, 33, 34, 35};
    const std::vector<int> rebuild = {28, 29, 31, 32, 59, 33, 34, 35};
    const std::vector<int> noChoice = {28, 29, 33, 34, 35};
    struct {
        const char* name;
        HostFacts host;
        PageRules rules;
        std::vector<int> pages;
        int setupType, components;
    } cases[] = {
        {"typical by default", Plain, rules(AutoSelectNone), all, TypicalSetupType, 0x07},
        {"license left out", Plain, rules(AutoSelectNone, 0), noLicense, 0, 0x07},
        {"kernel rebuild shown", Plain, rules(AutoSelectNone, 1, 1), rebuild, 0, 0x07},
        {"medium sets typical", host(0, 1, 1, 0), rules(AutoSelectTypical), noChoice, 0, 0x0F},
        {"medium sets compact", host(4, 1, 1, 1), rules(AutoSelectCompact), noChoice, 1, 0x02},
        {"newer driver preset", host(4, 1, 1, 1), rules(AutoSelectNone), all, 0, 0x17},
        {"SNMP asked, unsupported", host(0, 0, 1, 0), rules(AutoSelectNone), all, 0, 0x07},
        {"web server withdrawn", host(0, 1, 0, 1), rules(AutoSelectNone), all, 0, 0x06},
    };
    for (const auto& c : cases) {
        Wizard wizard;
        wizard.start(c.host, c.rules);
        EXPECT_EQ(pageTitles(wizard), c.pages) << c.name;
        EXPECT_EQ(wizard.currentPage(), 0) << c.name;
        EXPECT_EQ(wizard.selection().setupType, c.setupType) << c.name;
        EXPECT_EQ(wizard.selection().components, c.components) << c.name;
    }
}

// Steps on the pages, the page each one leads to, and whether it moved (Back on the
// first page and Next on the last do not).
TEST(WizardCore, NextAndBackPassOverTheComponentsUnlessCustom) {
    enum Step { Next, Back, Compact, Custom };
    struct {
        Step step;
        int page;
        bool moved;
    } walk[] = {
        {Back, 28, false},  {Next, 29, true},    {Next, 31, true}, {Next, 33, true},
        {Back, 31, true},   {Compact, 31, true}, {Next, 33, true}, {Back, 31, true},
        {Custom, 31, true}, {Next, 32, true},    {Next, 33, true}, {Back, 32, true},
        {Next, 33, true},   {Next, 34, true},    {Next, 35, true}, {Next, 35, false},
    };
    Wizard wizard;
    wizard.start(Plain, rules(AutoSelectNone));
    int at = 0;
    for (const auto& w : walk) {
        bool moved = true;
        if (w.step == Next)
            moved = wizard.next();
        else if (w.step == Back)
            moved = wizard.back();
        else
            wizard.chooseSetupType(w.step == Compact ? CompactSetupType : CustomSetupType);
        EXPECT_EQ(moved, w.moved) << "step " << at;
        EXPECT_EQ(static_cast<int>(wizard.page(wizard.currentPage()).titleId), w.page)
            << "step " << at;
        ++at;
    }
    // Custom started from the compact selection that Next applied before it.
    EXPECT_EQ(wizard.selection().components, 0x02);
}

Choices choose(int setupType, int components) {
    Choices choices;
    choices.setupType = setupType;
    choices.components = components;
    return choices;
}

TEST(WizardCore, TogglesFollowTheLocks) {
    struct {
        const char* name;
        HostFacts host;
        int component;
        bool selected;
        ComponentLock refusal;
        int components;  // after the toggle, from the managed system alone
    } cases[] = {
        {"notifier brings the managed system", Plain, NotifierComponent, true, ComponentLock::None,
         0x06},
        {"web server added", Plain, WebServerComponent, true, ComponentLock::None, 0x03},
        {"managed system cleared", Plain, ManagedSystemComponent, false, ComponentLock::None, 0},
        {"driver not newer", Plain, DriverComponent, true, ComponentLock::DriverNotNewer, 0x02},
        {"newer driver", host(4, 1, 1, 1), DriverComponent, true, ComponentLock::None, 0x12},
        {"SNMP not offered", host(0, 0, 1, 1), SnmpComponent, true, ComponentLock::NotOffered,
         0x02},
    };
    for (const auto& c : cases) {
        Wizard wizard;
        wizard.start(c.host, rules(AutoSelectNone));
        wizard.applyChoices(choose(CustomSetupType, 0x02));
        ASSERT_EQ(wizard.selection().components, 0x02) << c.name;
        EXPECT_EQ(wizard.toggleComponent(c.component, c.selected), c.refusal) << c.name;
        EXPECT_EQ(wizard.selection().components, c.components) << c.name;
    }

    // A selected notifier locks the managed system and names itself; cleared, it frees it.
    Wizard wizard;
    wizard.start(Plain, rules(AutoSelectNone));
    EXPECT_EQ(wizard.requiredBy(ManagedSystemComponent), NotifierComponent);
    EXPECT_EQ(wizard.toggleComponent(ManagedSystemComponent, false), ComponentLock::Required);
    EXPECT_EQ(wizard.toggleComponent(NotifierComponent, false), ComponentLock::None);
    EXPECT_EQ(wizard.requiredBy(ManagedSystemComponent), -1);
    EXPECT_EQ(wizard.lock(ManagedSystemComponent), ComponentLock::None);
}

TEST(WizardCore, ChoicesAreAppliedAsOnThePages) {
    struct {
        const char* name;
        HostFacts host;
        int autoSelect;
        Choices choices;
        int setupType, components;
        bool refused;
        std::vector<int> notOffered, added;
    } cases[] = {
        {"nothing asked", Plain, AutoSelectNone, Choices(), 0, 0x07, false, {}, {}},
        {"compact", Plain, AutoSelectNone, choose(CompactSetupType, -1), 1, 0x02, false, {}, {}},
        {"components only with custom",
         Plain,
         AutoSelectNone,
         choose(TypicalSetupType, 0x08),
         0,
         0x07,
         false,
         {},
         {}},
        {"custom keeps the preset without a list",
         Plain,
         AutoSelectNone,
         choose(CustomSetupType, -1),
         2,
         0x07,
         false,
         {},
         {}},
        {"custom list, requirement added",
         Plain,
         AutoSelectNone,
         choose(CustomSetupType, 0x05),
         2,
         0x07,
         false,
         {},
         {ManagedSystemComponent}},
        {"custom list, nothing",
         Plain,
         AutoSelectNone,
         choose(CustomSetupType, 0),
         2,
         0,
         false,
         {},
         {}},
        {"unoffered left out",
         host(0, 0, 1, 1),
         AutoSelectNone,
         choose(CustomSetupType, 0x18),
         2,
         0,
         false,
         {SnmpComponent, DriverComponent},
         {}},
        {"medium's type stands",
         Plain,
         AutoSelectCompact,
         choose(CustomSetupType, 0x01),
         1,
         0x02,
         true,
         {},
         {}},
    };
    for (const auto& c : cases) {
        Wizard wizard;
        wizard.start(c.host, rules(c.autoSelect));
        AppliedChoices applied = wizard.applyChoices(c.choices);
        EXPECT_EQ(wizard.selection().setupType, c.setupType) << c.name;
        EXPECT_EQ(wizard.selection().components, c.components) << c.name;
        EXPECT_EQ(applied.setupTypeRefused, c.refused) << c.name;
        EXPECT_EQ(applied.notOffered, c.notOffered) << c.name;
        EXPECT_EQ(applied.added, c.added) << c.name;
    }
}

TEST(WizardCore, SelectionNamesAsOnTheCommandLine) {
    Selection selection;
    selection.setupType = CustomSetupType;
    selection.components = 0x16;
    EXPECT_EQ(selection.setupTypeName(), "custom");
    EXPECT_EQ(selection.componentNames(";"), "managed-system;notifier;driver");
    EXPECT_EQ(answersText(selection, true),
              "[stage3]\naccept-license=true\nsetup-type=custom\n"
              "components=managed-system;notifier;driver\n");
    selection.setupType = CompactSetupType;
    EXPECT_EQ(answersText(selection, false),
              "[stage3]\naccept-license=false\nsetup-type=compact\n");
}

}  // namespace

// How an install ended, as its run keeps it, decides the exit status, the kind of error
// and the finish page's first line; a wizard with another run is not touched by it.
TEST(WizardRun, TheRunsEndDecidesTheExitStatusAndTheFinishText) {
    struct Case {
        ResourceID_C reason;
        bool keyRefused;
        bool succeeded;
        bool restartNeeded;
        int status;
        ErrorKind kind;
        ResourceID_C finishText;
    };
    const Case cases[] = {
        {0, false, true, false, ExitInstalled, ErrorKind::None, FinishFailedId},
        {0, false, true, true, ExitRestartNeeded, ErrorKind::None, FinishFailedId},
        {0, false, false, false, ExitInstallFailed, ErrorKind::None, FinishFailedId},
        {ChecksRefusedId, false, false, false, ExitRefused, ErrorKind::CheckRefused,
         FinishFailedId},
        {ChecksRefusedId, true, false, false, ExitRefused, ErrorKind::KeyNotTrusted,
         KeyNotTrustedFinishId},
        {PackageChangedId, false, false, false, ExitRefused, ErrorKind::PackageChanged,
         FinishFailedId},
        {AnotherInstallRunningId, false, false, false, ExitInstallRunning, ErrorKind::Locked,
         FinishFailedId},
        {AuthenticationRefusedId, false, false, false, ExitInstallFailed,
         ErrorKind::AuthenticationRefused, FinishFailedId},
        {AdministratorToolMissingId, false, false, false, ExitInstallFailed,
         ErrorKind::NoAdministratorTool, FinishFailedId},
        {InstallFilesUnsafeId, false, false, false, ExitInstallFailed,
         ErrorKind::InstallFilesUnsafe, FinishFailedId},
    };
    Wizard bystander;
    RunFacts done;
    done.succeeded = true;
    bystander.finishInstall(runResult(done));
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reason));
        InstallRun run;
        run.notStartedReason = c.reason;
        run.keyRefused = c.keyRefused;
        run.outcome.succeeded = c.succeeded;
        run.outcome.restartNeeded = c.restartNeeded;
        Wizard wizard(run);
        wizard.finishInstall(runResult(
            lastRunFacts(run, wizard.selection(), false, c.reason ? nullptr : &run.outcome)));
        EXPECT_EQ(wizard.exitStatus(), c.status);
        EXPECT_EQ(run.notStartedKind(), c.kind);
        if (c.reason) {
            EXPECT_EQ(wizard.result().error, c.kind);
            EXPECT_EQ(wizard.result().finishText, c.finishText);
        }
        EXPECT_EQ(bystander.exitStatus(), ExitInstalled);
    }
}
