#include "wizard/driver_notes.h"

#include "services/driver_outlook.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

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
    if (!found.runningKernelCovered)
        say(DriverNoModuleForKernelId, release);
    else if (found.throughWeakUpdates)
        say(DriverWeakUpdatesId, release);
    if (found.blockedBySecureBoot && found.enrolmentPending)
        say(DriverKeyEnrolmentPendingId);
    else if (found.blockedBySecureBoot && outlook.module.signature != MODULE_SIGNED)
        say(DriverUnsignedId);
    else if (found.blockedBySecureBoot)
        say(DriverKeyNotTrustedId, outlook.certificate);
    if (found.loadedOtherBuild)
        say(DriverOtherBuildLoadedId, outlook.loaded.version);
    notes.loadable =
        found.runningKernelCovered && (!found.blockedBySecureBoot || found.enrolmentPending);
    return notes;
}

bool restartExpected(const Selection& selection) {
    return installsDriver(selection) &&
           restartNeededAfterInstall(judgeDriver(mediumDriverOutlook()));
}
