// The wizard's static tables and the process-wide selection state.
#pragma once

#include "resdb/resource.h"

// Component bits of every component bit set.
enum : int {
    COMPONENT_WEB_SERVER = 0x01,
    COMPONENT_MANAGED_SYSTEM = 0x02,
    COMPONENT_NOTIFIER = 0x04,
    COMPONENT_SNMP = 0x08,
    COMPONENT_DRIVER = 0x10,
};

// Rows of the setup type and component tables.
enum : int { TypicalSetupType = 0, CompactSetupType = 1, CustomSetupType = 2 };
enum : int {
    WebServerComponent = 0,
    ManagedSystemComponent = 1,
    NotifierComponent = 2,
    SnmpComponent = 3,
    DriverComponent = 4,
};

// A page the wizard may show. Its title is also its identity in the page rules; each
// front end draws it its own way (the graphical one: interface/pages.h).
struct DialogPageConfig {
    ResourceID_C titleId;
    ResourceID_C nextLabelId;
    int backEnabled;
    int cancelEnabled;
};

struct DialogPageEntry {
    const DialogPageConfig* config;
};

struct SetupTypeEntry {
    ResourceID_C titleId;
    ResourceID_C descriptionId;
    int rowSpan;
    int presetMask;
    int keepMask;
};

struct ComponentEntry {
    ResourceID_C nameId;
    ResourceID_C descriptionId;
    int rowSpan;
    int requiresMask;
    int available;
    int dependentCount;
};

enum { MAX_DIALOG_PAGES = 8 };

extern const DialogPageConfig DialogPageConfigs[MAX_DIALOG_PAGES];
extern DialogPageEntry DialogPages[MAX_DIALOG_PAGES];
extern int NumberOfDialogPages;
extern int CurrentPage;

extern SetupTypeEntry SetupTypes[];
extern const int NumberOfSetupTypes;
extern int SetuptypeSelected;

extern ComponentEntry Components[];
extern const int NumberOfComponents;
extern int ComponentsSelected;

extern int InstalledOK;

// Puts every table and global back to its state before start-up (for tests that
// build the wizard more than once in one process).
void resetWizardTables();
