#include "wizard/selection.h"

#include "services/packages.h"
#include "services/string_service.h"
#include "services/switches.h"
#include "wizard/text_ids.h"

const char* const SetupTypeNames[] = {"typical", "compact", "custom"};
const char* const ComponentNames[] = {"web-server", "managed-system", "notifier", "snmp-agent",
                                      "driver"};

namespace {

bool pageIncluded(const DialogPageConfig& config, int autoSelect) {
    const ResourceID_C& title = config.titleId;
    if (title == KernelRebuildTitleId && !kernelRebuildNeeded())
        return false;
    if (autoSelect != AutoSelectNone && (title == SetupTypeTitleId || title == ComponentsTitleId))
        return false;
    if (title == LicenseTitleId && !getShowLicenseOption())
        return false;
    return true;
}

}  // namespace

HostFacts probeHost() {
    HostFacts host;
    host.driverCheck = driverUpdateCheck();
    host.snmpSupported = snmpIsSupportedOnOS();
    host.webServerAvailable = webServerAvailable();
    host.wantsSnmpUnderTypical = getWantsSnmpUnderTypicalOption();
    return host;
}

void adaptTablesToHost(const HostFacts& host) {
    SetupTypeEntry& typical = SetupTypes[TypicalSetupType];
    if (host.driverCheck > 3) {
        typical.presetMask |= COMPONENT_DRIVER;
        typical.keepMask &= ~COMPONENT_DRIVER;
    }
    if (!host.snmpSupported)
        Components[SnmpComponent].available = 0;
    if (!host.webServerAvailable)
        Components[WebServerComponent].available = 0;
    if (host.wantsSnmpUnderTypical == 0) {
        typical.presetMask |= COMPONENT_SNMP;
        typical.keepMask &= ~COMPONENT_SNMP;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (Components[i].available)
            continue;
        typical.keepMask |= 1 << i;
        typical.presetMask &= ~(1 << i);
    }
}

int includeDialogPages() {
    int autoSelect = getAutoSelectOemConfig();
    NumberOfDialogPages = 0;
    for (const DialogPageConfig& config : DialogPageConfigs) {
        if (!pageIncluded(config, autoSelect))
            continue;
        DialogPages[NumberOfDialogPages].config = &config;
        ++NumberOfDialogPages;
    }
    if (autoSelect == AutoSelectTypical)
        SetuptypeSelected = TypicalSetupType;
    if (autoSelect == AutoSelectCompact)
        SetuptypeSelected = CompactSetupType;
    return autoSelect;
}

bool isPage(int index, const ResourceID_C& titleId) {
    return index >= 0 && index < NumberOfDialogPages &&
           DialogPages[index].config->titleId == titleId;
}

int pageAfter(int current) {
    int next = current + 1;
    if (next >= NumberOfDialogPages)
        return NumberOfDialogPages;
    if (isPage(next, ComponentsTitleId) && SetuptypeSelected != CustomSetupType)
        next = current + 2;
    return next;
}

int pageBefore(int current) {
    int target = current - 1;
    if (isPage(target, ComponentsTitleId) && SetuptypeSelected != CustomSetupType)
        target = current - 2;
    return target;
}

void applySetupType() {
    const SetupTypeEntry& type = SetupTypes[SetuptypeSelected];
    ComponentsSelected = (ComponentsSelected & type.keepMask) | type.presetMask;
    closeSelection();
}

void closeSelection() {
    // One ascending pass: a component added for a higher one does not add its own
    // requirements in this run.
    int selection = ComponentsSelected;
    for (int i = 0; i < NumberOfComponents; ++i) {
        Components[i].dependentCount = 0;
        if (selection & (1 << i))
            selection |= Components[i].requiresMask;
    }
    ComponentsSelected = selection;
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!(ComponentsSelected & (1 << i)) || Components[i].requiresMask == 0)
            continue;
        for (int j = 0; j < NumberOfComponents; ++j)
            if (Components[i].requiresMask & (1 << j))
                ++Components[j].dependentCount;
    }
}

ComponentLock componentLock(int index) {
    if (!Components[index].available)
        return ComponentLock::NotOffered;
    if (Components[index].dependentCount != 0)
        return ComponentLock::Required;
    if (index == DriverComponent && driverUpdateCheck() <= 3)
        return ComponentLock::DriverNotNewer;
    return ComponentLock::None;
}

ComponentLock setComponent(int index, bool selected) {
    ComponentLock lock = componentLock(index);
    if (lock != ComponentLock::None)
        return lock;
    if (selected)
        ComponentsSelected |= 1 << index;
    else
        ComponentsSelected &= ~(1 << index);
    closeSelection();
    return ComponentLock::None;
}

std::string composeReviewText() {
    // The string service hands out one shared buffer, so each text is copied at once.
    std::string text = getString(ReviewSetupTypeHeadingId);
    text += '\t';
    text += getString(SetupTypes[SetuptypeSelected].titleId);
    text += "\n\n";
    text += getString(ReviewComponentsHeadingId);
    if (ComponentsSelected == 0) {
        text += '\t';
        text += getString(ReviewNoComponentsId);
        text += '\n';
        return text;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!(ComponentsSelected & (1 << i)))
            continue;
        text += '\t';
        text += getString(Components[i].nameId);
        text += '\n';
    }
    if (kernelRebuildNeeded()) {
        text += "\n\n";
        text += getString(ReviewKernelRebuildNoteId);
        text += '\n';
    }
    return text;
}

std::string selectedSetupTypeName() {
    return SetupTypeNames[SetuptypeSelected];
}

std::string selectedComponentNames(const char* separator) {
    std::string names;
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!(ComponentsSelected & (1 << i)))
            continue;
        if (!names.empty())
            names += separator;
        names += ComponentNames[i];
    }
    return names;
}
