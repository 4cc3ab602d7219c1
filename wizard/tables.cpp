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

DialogPageEntry DialogPages[MAX_DIALOG_PAGES];
int NumberOfDialogPages = 0;
int CurrentPage = 0;

namespace {
const SetupTypeEntry InitialSetupTypes[] = {
    {38, 41, 2, 0x07, 0x07},
    {39, 42, 1, 0x02, 0x02},
    {40, 43, 2, 0x00, ~0},
};

const ComponentEntry InitialComponents[] = {
    {44, 49, 2, 0, 1, 0},                         // web server
    {45, 50, 2, 0, 1, 0},                         // managed system
    {46, 51, 1, COMPONENT_MANAGED_SYSTEM, 1, 0},  // notifier
    {47, 52, 1, 0, 1, 0},                         // SNMP
    {48, 53, 1, 0, 1, 0},                         // driver
};
}  // namespace

SetupTypeEntry SetupTypes[] = {
    InitialSetupTypes[0],
    InitialSetupTypes[1],
    InitialSetupTypes[2],
};
const int NumberOfSetupTypes = sizeof(SetupTypes) / sizeof(SetupTypes[0]);
int SetuptypeSelected = 0;

ComponentEntry Components[] = {
    InitialComponents[0], InitialComponents[1], InitialComponents[2],
    InitialComponents[3], InitialComponents[4],
};
const int NumberOfComponents = sizeof(Components) / sizeof(Components[0]);
int ComponentsSelected = 0;

int InstalledOK = 1;

void resetWizardTables() {
    for (int i = 0; i < MAX_DIALOG_PAGES; ++i) DialogPages[i] = DialogPageEntry{nullptr};
    NumberOfDialogPages = 0;
    CurrentPage = 0;
    for (int t = 0; t < NumberOfSetupTypes; ++t) SetupTypes[t] = InitialSetupTypes[t];
    SetuptypeSelected = 0;
    for (int i = 0; i < NumberOfComponents; ++i) Components[i] = InitialComponents[i];
    ComponentsSelected = 0;
    InstalledOK = 1;
}
