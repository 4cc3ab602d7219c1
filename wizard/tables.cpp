#include "wizard/tables.h"

const DialogPageConfig DialogPageConfigs[MAX_DIALOG_PAGES] = {
    {28, 1, 0, 1},   // welcome
    {29, 36, 1, 1},  // license
    {31, 1, 1, 1},   // setup type
    {32, 1, 1, 1},   // components
    {59, 1, 1, 1},   // kernel rebuild
    {33, 1, 1, 1},   // review
    {34, 1, 0, 0},   // run
    {35, 37, 0, 0},  // finish
};

const SetupTypeEntry SetupTypeTable[NumberOfSetupTypes] = {
    {38, 41, 2, 0x07, 0x07},
    {39, 42, 1, 0x02, 0x02},
    {40, 43, 2, 0x00, ~0},
};

const ComponentEntry ComponentTable[NumberOfComponents] = {
    {44, 49, 2, 0, 1},                         // web server
    {45, 50, 2, 0, 1},                         // managed system
    {46, 51, 1, COMPONENT_MANAGED_SYSTEM, 1},  // notifier
    {47, 52, 1, 0, 1},                         // SNMP
    {48, 53, 1, 0, 1},                         // driver
};

const char* const SetupTypeNames[NumberOfSetupTypes] = {"typical", "compact", "custom"};
const char* const ComponentNames[NumberOfComponents] = {"web-server", "managed-system", "notifier",
                                                        "snmp-agent", "driver"};
