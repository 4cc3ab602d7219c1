// Resource identifiers of the texts the wizard shows, by role.
#pragma once

#include "resdb/resource.h"

// Page titles; a page's title is also its identity in the page rules.
const ResourceID_C WelcomeTitleId = 28;
const ResourceID_C LicenseTitleId = 29;
const ResourceID_C SetupTypeTitleId = 31;
const ResourceID_C ComponentsTitleId = 32;
const ResourceID_C KernelRebuildTitleId = 59;
const ResourceID_C ReviewTitleId = 33;
const ResourceID_C RunTitleId = 34;
const ResourceID_C FinishTitleId = 35;

// Review summary: heading of the setup type, heading of the components, "none", and
// the kernel rebuild note.
const ResourceID_C ReviewSetupTypeHeadingId = 25;
const ResourceID_C ReviewComponentsHeadingId = 26;
const ResourceID_C ReviewNoComponentsId = 27;
const ResourceID_C ReviewKernelRebuildNoteId = 58;

// The install did not start: its files could not be made safely in /tmp.
const ResourceID_C InstallFilesUnsafeId = 2000;
// Warning on standard error: the start marker could not be made.
const ResourceID_C StartMarkerWarningId = 2001;
// First line of the run page's output once earlier lines were dropped.
const ResourceID_C OutputLinesDroppedId = 2002;
// Start-up refusal: a package file cannot be installed as it is named; the path follows.
const ResourceID_C PackagePathUnusableId = 2003;
// After a license text cut at its size limit.
const ResourceID_C LicenseTextCutId = 2004;
// The install did not start: another one holds the lock.
const ResourceID_C AnotherInstallRunningId = 2005;
// One line: the log could not be written (its path replaces %s).
const ResourceID_C LogNotWrittenId = 2006;
// Where the log is (its path replaces %s): finish page and result line.
const ResourceID_C LogPlaceId = 2007;
// Result lines of the unattended mode.
const ResourceID_C ResultInstalledId = 2008;
const ResourceID_C ResultFailedId = 2009;
const ResourceID_C ResultNothingSelectedId = 2010;
// Unattended: the license was not accepted.
const ResourceID_C LicenseNotAcceptedId = 2011;
// A requested component is not offered (its name replaces %s).
const ResourceID_C ComponentNotOfferedId = 2012;
// A required component was added (it and the one requiring it replace the two %s).
const ResourceID_C ComponentAddedId = 2013;
// Why the driver cannot be chosen.
const ResourceID_C DriverNotNewerId = 2014;
// Why a component cannot be cleared (it and the one requiring it replace the two %s).
const ResourceID_C ComponentRequiredId = 2015;

// Console wizard: the license pager's keys; how to choose on the setup type and the
// components page; the keys of the page buttons (their labels replace %s); the markers
// of chosen, selected and locked choices; how to answer the exit question (the answer
// Enter alone gives replaces %s); an input that is not a choice of the page.
const ResourceID_C ConsoleMoreKeyId = 2020;
const ResourceID_C ConsoleSkipKeyId = 2021;
const ResourceID_C ConsoleSetupTypeHintId = 2022;
const ResourceID_C ConsoleComponentsHintId = 2023;
const ResourceID_C ConsoleNextKeyId = 2024;
const ResourceID_C ConsoleBackKeyId = 2025;
const ResourceID_C ConsoleCancelKeyId = 2026;
const ResourceID_C ConsoleChosenMarkerId = 2027;
const ResourceID_C ConsoleNotChosenMarkerId = 2028;
const ResourceID_C ConsoleSelectedMarkerId = 2029;
const ResourceID_C ConsoleClearedMarkerId = 2030;
const ResourceID_C ConsoleLockedMarkerId = 2031;
const ResourceID_C ConsoleExitAnswerHintId = 2032;
const ResourceID_C ConsoleNotAChoiceId = 2033;

// Start-up refusals: no license text, this version installed, no installable package;
// the second line of each.
const ResourceID_C NoLicenseTextId = 54;
const ResourceID_C SameVersionInstalledId = 55;
const ResourceID_C NoInstallablePackageId = 56;
const ResourceID_C SetupCannotContinueId = 57;

// Appended to the install output when the user asks to leave while it runs.
const ResourceID_C InstallStillRunningId = 23;
// Closing message after a successful and after a failed install.
const ResourceID_C FinishSucceededId = 13;
const ResourceID_C FinishFailedId = 14;
