#include "wizard/driver_notes.h"

#include "services/driver_outlook.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// Modules named one by one before the rest are only counted.
const size_t kNamedModules = 20;

ResourceID_C inspectionReason(int inspection) {
    switch (inspection) {
        case MODULE_UNPACKS_TOO_LARGE:
            return ModuleTooLargeReasonId;
        case MODULE_UNREADABLE:
            return ModuleUnreadableReasonId;
        case MODULE_MODINFO_FAILED:
            return ModinfoFailedReasonId;
        case MODULE_PAST_COUNT:
            return ModulePastCountReasonId;
        case MODULE_PAST_TOTAL:
            return ModulePastTotalReasonId;
        default:
            return ModuleNotTakenReasonId;
    }
}

}  // namespace

bool installsDriver(const Selection& selection) {
    return selection.has(DriverComponent);
}

DriverNotes driverNotes() {
    DriverNotes notes;
    const DriverOutlook& outlook = mediumDriverOutlook();
    const DriverFindings found = judgeDriver(outlook);
    if (!found.hasModules)
        return notes;
    const std::string release = driverHost().release;
    auto say = [&](ResourceID_C id, const std::string& value = "") {
        notes.lines.push_back(fillText(getString(id), {value}));
    };
    size_t notInspected = 0;
    for (const PackagedModule& module : outlook.package.modules) {
        if (module.inspection == MODULE_INSPECTED)
            continue;
        if (++notInspected <= kNamedModules)
            notes.lines.push_back(
                fillText(getString(DriverModuleNotInspectedId),
                         {module.path, getString(inspectionReason(module.inspection))}));
    }
    if (notInspected > kNamedModules)
        say(DriverModulesNotInspectedMoreId, std::to_string(notInspected - kNamedModules));
    notes.inspected = notInspected == 0;
    if (!found.runningKernelCovered)
        say(DriverNoModuleForKernelId, release);
    else if (found.throughWeakUpdates)
        say(DriverWeakUpdatesId, release);
    // A module not inspected has no known signature: its line above says so.
    const bool blocked =
        found.blockedBySecureBoot && outlook.module.signature != MODULE_SIGNATURE_UNKNOWN;
    if (blocked && found.enrolmentPending)
        say(DriverKeyEnrolmentPendingId);
    else if (blocked && outlook.module.signature != MODULE_SIGNED)
        say(DriverUnsignedId);
    else if (blocked)
        say(DriverKeyNotTrustedId, outlook.certificate);
    if (found.loadedOtherBuild)
        say(DriverOtherBuildLoadedId, outlook.loaded.version);
    notes.loadable = notes.inspected && found.runningKernelCovered &&
                     (!found.blockedBySecureBoot || found.enrolmentPending);
    return notes;
}

bool restartExpected(const Selection& selection) {
    return installsDriver(selection) &&
           restartNeededAfterInstall(judgeDriver(mediumDriverOutlook()));
}
