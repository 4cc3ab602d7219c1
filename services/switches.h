// Installer option switches, read from the resource database through the
// string service in the language it has chosen.
#pragma once

// Resource 5002, compared case-insensitively: 1 for TYPICAL, 2 for COMPACT,
// 0 for anything else (empty and missing included).
enum { AutoSelectNone = 0, AutoSelectTypical = 1, AutoSelectCompact = 2 };
int getAutoSelectOemConfig();

// Resource 5003, compared case-insensitively: 0 for DISABLED, 1 otherwise
// (ENABLED, empty and missing included).
int getShowLicenseOption();

// Resource 5004: 0 when it is exactly "yes" (SNMP belongs to the typical
// setup), 1 for every other text.
int getWantsSnmpUnderTypicalOption();

// Upper-cases `text` in place by the current locale; bytes without an
// upper-case form stay as they are.
void toUpper(char* text);
