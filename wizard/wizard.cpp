#include "wizard/wizard.h"

#include <algorithm>

#include "services/packages.h"
#include "services/string_service.h"
#include "services/switches.h"
#include "services/text_format.h"
#include "wizard/driver_notes.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/text_ids.h"

HostFacts probeHost() {
    HostFacts host;
    host.driverCheck = driverUpdateCheck();
    host.snmpSupported = snmpIsSupportedOnOS();
    host.webServerAvailable = webServerAvailable();
    host.wantsSnmpUnderTypical = getWantsSnmpUnderTypicalOption();
    return host;
}

PageRules readPageRules(bool lookAtDriver) {
    PageRules rules;
    rules.autoSelect = getAutoSelectOemConfig();
    rules.showLicense = getShowLicenseOption();
    rules.kernelRebuild = lookAtDriver ? kernelRebuildNeeded() : -1;
    return rules;
}

std::string Selection::setupTypeName() const {
    return SetupTypeNames[setupType];
}

std::string Selection::componentNames(const char* separator) const {
    std::string names;
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!has(i))
            continue;
        if (!names.empty())
            names += separator;
        names += ComponentNames[i];
    }
    return names;
}

Wizard::Wizard(InstallRun& run) : run_(&run) {
    std::copy(std::begin(SetupTypeTable), std::end(SetupTypeTable), setupTypes_);
    std::copy(std::begin(ComponentTable), std::end(ComponentTable), components_);
}

Wizard::Wizard() : Wizard(*new InstallRun) {
    ownRun_.reset(run_);
}

Wizard::~Wizard() = default;

void Wizard::start(const HostFacts& host, const PageRules& rules) {
    host_ = host;
    rules_ = rules;
    SetupTypeEntry& typical = setupTypes_[TypicalSetupType];
    if (host.driverCheck > 3) {
        typical.presetMask |= COMPONENT_DRIVER;
        typical.keepMask &= ~COMPONENT_DRIVER;
    }
    if (!host.snmpSupported)
        components_[SnmpComponent].available = 0;
    if (!host.webServerAvailable)
        components_[WebServerComponent].available = 0;
    if (host.wantsSnmpUnderTypical == 0) {
        typical.presetMask |= COMPONENT_SNMP;
        typical.keepMask &= ~COMPONENT_SNMP;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (components_[i].available)
            continue;
        typical.keepMask |= 1 << i;
        typical.presetMask &= ~(1 << i);
    }

    pages_.clear();
    for (const DialogPageConfig& config : DialogPageConfigs) {
        const ResourceID_C& title = config.titleId;
        if (title == KernelRebuildTitleId && !rules.kernelRebuild)
            continue;
        if (rules.autoSelect != AutoSelectNone &&
            (title == SetupTypeTitleId || title == ComponentsTitleId))
            continue;
        if (title == LicenseTitleId && !rules.showLicense)
            continue;
        pages_.push_back(&config);
    }
    current_ = 0;
    if (rules.autoSelect == AutoSelectTypical)
        selection_.setupType = TypicalSetupType;
    if (rules.autoSelect == AutoSelectCompact)
        selection_.setupType = CompactSetupType;
    applySetupType();
}

int Wizard::settleKernelRebuild() {
    if (rules_.kernelRebuild >= 0)
        return -1;
    rules_.kernelRebuild = kernelRebuildNeeded();
    for (int i = 0; i < pageCount() && !rules_.kernelRebuild; ++i) {
        if (!isPage(i, KernelRebuildTitleId))
            continue;
        pages_.erase(pages_.begin() + i);
        if (current_ > i)
            --current_;
        return i;
    }
    return -1;
}

bool Wizard::isPage(int index, const ResourceID_C& titleId) const {
    return index >= 0 && index < pageCount() && pages_[index]->titleId == titleId;
}

bool Wizard::hasPage(const ResourceID_C& titleId) const {
    for (int i = 0; i < pageCount(); ++i)
        if (isPage(i, titleId))
            return true;
    return false;
}

int Wizard::pageAfter(int current) const {
    int next = current + 1;
    if (isPage(next, ComponentsTitleId) && selection_.setupType != CustomSetupType)
        ++next;
    return next;
}

int Wizard::pageBefore(int current) const {
    int target = current - 1;
    if (isPage(target, ComponentsTitleId) && selection_.setupType != CustomSetupType)
        --target;
    return target;
}

bool Wizard::next() {
    int next = pageAfter(current_);
    if (next >= pageCount())
        return false;
    if (onPage(SetupTypeTitleId))
        applySetupType();
    current_ = next;
    return true;
}

void Wizard::beginMaintenance(Action action, const Selection& installed) {
    selection_ = installed;
    if (action == Action::Modify)
        selection_.setupType = CustomSetupType;
    const ResourceID_C& first = action == Action::Modify ? ComponentsTitleId : ReviewTitleId;
    for (int i = 0; i < pageCount(); ++i)
        if (isPage(i, first))
            current_ = maintenanceFirst_ = i;
    // A medium that sets the setup type has no components page: a modify reviews.
    if (maintenanceFirst_ < 0)
        for (int i = 0; i < pageCount(); ++i)
            if (isPage(i, ReviewTitleId))
                current_ = maintenanceFirst_ = i;
}

bool Wizard::back() {
    int target = pageBefore(current_);
    if (current_ == maintenanceFirst_)
        return false;
    if (target < 0)
        return false;
    current_ = target;
    return true;
}

void Wizard::chooseSetupType(int type) {
    if (type >= 0 && type < NumberOfSetupTypes)
        selection_.setupType = type;
}

void Wizard::applySetupType() {
    const SetupTypeEntry& type = setupTypes_[selection_.setupType];
    selection_.components = (selection_.components & type.keepMask) | type.presetMask;
    closeSelection();
}

void Wizard::closeSelection() {
    // One ascending pass: a component added for a higher one does not add its own
    // requirements in this run.
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection_.has(i))
            selection_.components |= components_[i].requiresMask;
}

int Wizard::requiredBy(int index) const {
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection_.has(i) && (components_[i].requiresMask & (1 << index)))
            return i;
    return -1;
}

ComponentLock Wizard::lock(int index) const {
    if (!components_[index].available)
        return ComponentLock::NotOffered;
    if (requiredBy(index) >= 0)
        return ComponentLock::Required;
    if (index == DriverComponent && host_.driverCheck <= 3)
        return ComponentLock::DriverNotNewer;
    return ComponentLock::None;
}

ComponentLock Wizard::toggleComponent(int index, bool selected) {
    if (index < 0 || index >= NumberOfComponents)
        return ComponentLock::NotOffered;
    ComponentLock refusal = lock(index);
    if (refusal != ComponentLock::None)
        return refusal;
    if (selected)
        selection_.components |= 1 << index;
    else
        selection_.components &= ~(1 << index);
    closeSelection();
    return ComponentLock::None;
}

AppliedChoices Wizard::applyChoices(const Choices& choices) {
    AppliedChoices applied;
    if (choices.setupType >= 0 && choices.setupType != selection_.setupType) {
        if (rules_.autoSelect == AutoSelectNone) {
            chooseSetupType(choices.setupType);
            applySetupType();
        } else {
            applied.setupTypeRefused = true;
        }
    }
    if (selection_.setupType != CustomSetupType || choices.components < 0)
        return applied;
    selection_.components = 0;
    for (int i = 0; i < NumberOfComponents; ++i)
        if ((choices.components & (1 << i)) && toggleComponent(i, true) != ComponentLock::None)
            applied.notOffered.push_back(i);
    for (int i = 0; i < NumberOfComponents; ++i)
        if (selection_.has(i) && !(choices.components & (1 << i)))
            applied.added.push_back(i);
    return applied;
}

void Wizard::notePreselection(const Choices& given, const std::string& recordNote) {
    if (!recordNote.empty())
        preselectionNote_ = recordNote;
    else if (given.setupType >= 0 || given.components >= 0)
        preselectionNote_ = fillText(getString(GivenChoicesId),
                                     {selection_.setupTypeName(), selection_.componentNames(" ")});
    else
        preselectionNote_.clear();
}

std::string Wizard::reviewText() const {
    // A remove takes the installed components away (the driver only when asked): those
    // are its summary; a setup type means nothing to it.
    const ResourceID_C& componentsHeading = installAction(*run_) == Action::Install
                                                ? ReviewComponentsHeadingId
                                                : ActionComponentsHeadingId;
    if (installAction(*run_) == Action::Remove) {
        std::string text = getString(componentsHeading);
        for (int i = 0; i < NumberOfComponents; ++i)
            if (selection_.has(i) && (i != DriverComponent || removesDriver(*run_)))
                text += std::string("\t") + getString(components_[i].nameId) + "\n";
        return text;
    }
    // The string service hands out one shared buffer, so each text is copied at once.
    std::string text = getString(ReviewSetupTypeHeadingId);
    text += '\t';
    text += getString(setupTypes_[selection_.setupType].titleId);
    text += "\n\n";
    text += getString(componentsHeading);
    if (selection_.components == 0) {
        text += '\t';
        text += getString(ReviewNoComponentsId);
        text += '\n';
        return text;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (!selection_.has(i))
            continue;
        text += '\t';
        text += getString(components_[i].nameId);
        text += '\n';
    }
    if (rules_.kernelRebuild > 0) {
        text += "\n\n";
        text += getString(ReviewKernelRebuildNoteId);
        text += '\n';
    }
    if (installsDriver(selection_))
        for (const std::string& note : driverNotes().lines) text += "\n" + note + "\n";
    return text;
}
