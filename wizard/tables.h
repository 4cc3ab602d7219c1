// The wizard's static tables: its pages, setup types and components as the medium
// ships them. They are read-only; a Wizard (wizard/wizard.h) keeps its own copy of the
// offer, adapted to the host.
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
};

enum { MAX_DIALOG_PAGES = 8, NumberOfSetupTypes = 3, NumberOfComponents = 5 };

// Every page in the order shown; the rules of wizard/wizard.h leave some out.
extern const DialogPageConfig DialogPageConfigs[MAX_DIALOG_PAGES];
extern const SetupTypeEntry SetupTypeTable[NumberOfSetupTypes];
extern const ComponentEntry ComponentTable[NumberOfComponents];

// Names of the setup types and components on the command line and in answers files,
// in table order.
extern const char* const SetupTypeNames[NumberOfSetupTypes];
extern const char* const ComponentNames[NumberOfComponents];
