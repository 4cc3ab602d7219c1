// Resource identifiers of the texts and settings the wizard reads from the database,
// by role (the settings 5001 to 5004 are the services'; services/setting_ids.h). The
// tables of wizard/tables.cpp name the page, setup type and component
// texts in their rows; everything else refers to a text by one of these names.
#pragma once

#include "resdb/resource.h"
#include "services/setting_ids.h"

// Buttons: Back, the ordinary Next, Cancel, and the Next labels of the license and
// finish pages.
const ResourceID_C BackLabelId = 0;
const ResourceID_C NextLabelId = 1;
const ResourceID_C CancelLabelId = 2;
const ResourceID_C LicenseNextLabelId = 36;
const ResourceID_C FinishNextLabelId = 37;

// Window title.
const ResourceID_C WindowTitleId = 1000;

// Page titles; a page's title is also its identity in the page rules.
const ResourceID_C WelcomeTitleId = 28;
const ResourceID_C LicenseTitleId = 29;
const ResourceID_C SetupTypeTitleId = 31;
const ResourceID_C ComponentsTitleId = 32;
const ResourceID_C KernelRebuildTitleId = 59;
const ResourceID_C ReviewTitleId = 33;
const ResourceID_C RunTitleId = 34;
const ResourceID_C FinishTitleId = 35;

// Page texts: welcome; the notes above and below the license; the introductions of the
// setup type, components and review pages; the heading of the settings list; the note
// above the install output; the kernel rebuild notice.
const ResourceID_C WelcomeTextId = 1001;
const ResourceID_C LicenseTopNoteId = 3;
const ResourceID_C LicenseBottomNoteId = 4;
const ResourceID_C SetupTypeIntroId = 8;
const ResourceID_C ComponentsIntroId = 9;
const ResourceID_C ReviewIntroId = 10;
const ResourceID_C ReviewSettingsHeadingId = 11;
const ResourceID_C RunNoteId = 12;
const ResourceID_C KernelRebuildNoticeId = 1003;

// Finish page: the closing message after a successful and after a failed install, the
// pointer to the read-me notes, the notice about registering the controller.
const ResourceID_C FinishSucceededId = 13;
const ResourceID_C FinishFailedId = 14;
const ResourceID_C ReadMeNoteId = 15;
const ResourceID_C RegisterControllerId = 1005;

// The exit question and the proxy notice: titles, texts and buttons.
const ResourceID_C ExitDialogTitleId = 16;
const ResourceID_C ProxyDialogTitleId = 17;
const ResourceID_C ExitQuestionId = 18;
const ResourceID_C YesLabelId = 19;
const ResourceID_C NoLabelId = 20;
const ResourceID_C OkLabelId = 21;
const ResourceID_C ProxyNoticeId = 1004;

// Appended to the install output when the user asks to leave while it runs.
const ResourceID_C InstallStillRunningId = 23;

// Review summary: heading of the setup type, heading of the components, "none", and
// the kernel rebuild note.
const ResourceID_C ReviewSetupTypeHeadingId = 25;
const ResourceID_C ReviewComponentsHeadingId = 26;
const ResourceID_C ReviewNoComponentsId = 27;
const ResourceID_C ReviewKernelRebuildNoteId = 58;

// Start-up refusals: no license text (also shown in place of an unreadable license),
// this version installed, no installable package; the second line of each.
const ResourceID_C NoLicenseTextId = 54;
const ResourceID_C SameVersionInstalledId = 55;
const ResourceID_C NoInstallablePackageId = 56;
const ResourceID_C SetupCannotContinueId = 57;

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

// The end of the install on the run page (graphical and console): its title and note
// when it finished and when it failed; the console's progress line (the whole percentage
// replaces %s).
const ResourceID_C InstallFinishedTitleId = 2040;
const ResourceID_C InstallFailedTitleId = 2041;
const ResourceID_C InstallFinishedNoteId = 2042;
const ResourceID_C InstallFailedNoteId = 2043;
const ResourceID_C ConsoleProgressLineId = 2044;

// A normal user's install runs its script as root through pkexec: the administrator's
// authentication was refused or dismissed (nothing was installed), and pkexec is not
// there to ask for it (the install did not start).
const ResourceID_C AuthenticationRefusedId = 2050;
const ResourceID_C AdministratorToolMissingId = 2051;

// Start-up refusal: a newer version of the application is installed than the medium's
// (the application package name, the installed version and the medium's replace the
// three %s).
const ResourceID_C NewerVersionInstalledId = 2060;
// One line of the install output: a directory stood at the settings file's fixed name and
// was renamed aside (the name and the new name replace the two %s).
const ResourceID_C SettingsMovedAsideId = 2061;

// Start-up refusal, as root, of a medium that an account other than root (and the one
// that ran sudo or pkexec) could change: a file or directory of another account (its
// path and the account replace the two %s), one that others can write to, a link to
// nothing (its path replaces %s); then what to do.
const ResourceID_C MediumForeignOwnerId = 2070;
const ResourceID_C MediumWritableId = 2071;
const ResourceID_C MediumBrokenLinkId = 2072;
const ResourceID_C MediumCopyAdviceId = 2073;
// Its last line, "Setup cannot continue." from the program's own texts.
const ResourceID_C MediumRefusedEndId = 2075;
// The same refusal: the program root would run (its path replaces %s) is a link or not a
// regular file; the medium is on a loop device whose image file cannot be found (the
// path on it replaces %s).
const ResourceID_C ProgramNotAFileId = 2300;
const ResourceID_C MediumImageUnknownId = 2301;
// One line: the default log directory (its path replaces %s) is not root's own or
// others can write to it, so the install goes on without a log.
const ResourceID_C LogDirectoryUnsafeId = 2074;
// The line after the start-up error that the file named with --log exists.
const ResourceID_C LogExistsHintId = 2380;
// The line after "Cannot load resource file." and "Setup cannot continue.": the
// directory the resource file was looked for in (it replaces %s) and --medium.
const ResourceID_C ResourceFileWhereId = 2381;

// The checks before the first package (wizard/install_checks.h). The run page's note
// while they run, and the console's progress line (the numbers done and to do replace
// the two %s).
const ResourceID_C ChecksRunningId = 2100;
const ResourceID_C ChecksProgressLineId = 2101;
// The medium's digest list: none (a note), unreadable, a wrong line (its number replaces
// %s), all files matching.
const ResourceID_C ManifestAbsentId = 2102;
const ResourceID_C ManifestUnreadableId = 2103;
const ResourceID_C ManifestMalformedId = 2104;
const ResourceID_C ManifestMatchesId = 2105;
// A file of the medium (its path replaces the first %s): differs (the expected and the
// found digests replace the other two), listed but missing, not a regular file,
// unreadable, not listed.
const ResourceID_C FileDiffersId = 2106;
const ResourceID_C FileMissingId = 2107;
const ResourceID_C FileNotRegularId = 2108;
const ResourceID_C FileUnreadableId = 2109;
const ResourceID_C FileUnlistedId = 2110;
// A package (its path replaces the first %s): digests and signature good; unsigned (a
// note); unsigned where signatures are required; signed with a key (its id replaces the
// second %s) that the system lacks and the medium does not carry; the same key carried
// by the medium; damaged (rpm's lines follow); a signature that does not verify (rpm's
// lines follow); no package file; rpm could not be run.
const ResourceID_C PackageVerifiedId = 2111;
const ResourceID_C PackageUnsignedId = 2112;
const ResourceID_C PackageUnsignedRefusedId = 2113;
const ResourceID_C PackageKeyUnknownId = 2114;
const ResourceID_C PackageKeyOnMediumId = 2115;
const ResourceID_C PackageDamagedId = 2116;
const ResourceID_C PackageBadSignatureId = 2117;
const ResourceID_C PackageNotRegularId = 2118;
const ResourceID_C PackageNotCheckedId = 2119;
// The question for the medium's key: the key id, user id, fingerprint and file replace
// the four %s; then the question itself, and the trust dialog's title.
const ResourceID_C KeyImportingId = 2120;
const ResourceID_C KeyQuestionId = 2121;
const ResourceID_C KeyDialogTitleId = 2122;
// The key (its id replaces %s): declined; needed unattended (--trust-medium-key); to be
// imported (dry run); imported; not taken by rpm (rpm's lines follow).
const ResourceID_C KeyDeclinedId = 2123;
const ResourceID_C KeyNeedsTrustId = 2124;
const ResourceID_C KeyWouldImportId = 2125;
const ResourceID_C KeyImportedId = 2126;
const ResourceID_C KeyImportFailedId = 2127;
// rpm's test transaction (the packages replace %s): passes; would fail (rpm's lines
// follow).
const ResourceID_C TransactionPassesId = 2128;
const ResourceID_C TransactionFailsId = 2129;
// The end of an install the checks refused: nothing was installed.
const ResourceID_C ChecksRefusedId = 2130;
// After the result of an install that put in a new driver module: a restart is needed
// to use it; the running kernel's start-up image holds the new module, or does not.
const ResourceID_C RestartNeededId = 2250;
const ResourceID_C InitramfsHoldsDriverId = 2251;
const ResourceID_C InitramfsLacksDriverId = 2252;
// Before the install, about the driver's module on this host (driver_notes.h): no module
// for the running kernel, or one through weak-updates (the release replaces %s); Secure
// Boot keeps an unsigned module, or one signed with a key the machine does not trust (the
// medium's certificate replaces %s), from loading, or its key waits for enrolment;
// another build loaded now (its version replaces %s); --require-loadable-driver refuses.
const ResourceID_C DriverNoModuleForKernelId = 2253;
const ResourceID_C DriverWeakUpdatesId = 2254;
const ResourceID_C DriverUnsignedId = 2255;
const ResourceID_C DriverKeyNotTrustedId = 2256;
const ResourceID_C DriverKeyEnrolmentPendingId = 2257;
const ResourceID_C DriverOtherBuildLoadedId = 2258;
const ResourceID_C DriverNotLoadableRefusedId = 2259;
// A package no longer the one the checks passed when root installs it: the root side's
// line naming it (its path replaces %s), and why nothing was installed.
const ResourceID_C PackageChangedLineId = 2320;
const ResourceID_C PackageChangedId = 2321;

// A remove asks first: what it removes, the question (No is the default), No's line, and
// the refusal where nobody can answer and --yes was not given.
const ResourceID_C RemoveSummaryId = 2400;
const ResourceID_C RemoveQuestionId = 2401;
const ResourceID_C NothingRemovedId = 2402;
const ResourceID_C RemoveNeedsYesId = 2403;

// The window's question whether the medium's key may be imported: the question, the
// key's fields (key id, user id, fingerprint, file), and that the key stays in rpm's
// keyring (the command that removes it replaces %s).
const ResourceID_C KeyTrustQuestionId = 2420;
const ResourceID_C KeyIdFieldId = 2421;
const ResourceID_C KeyUserIdFieldId = 2422;
const ResourceID_C KeyFingerprintFieldId = 2423;
const ResourceID_C KeyFileFieldId = 2424;
const ResourceID_C KeyStaysInKeyringId = 2425;
// The key not trusted: the run page's title and note, the finish page's first line.
const ResourceID_C KeyNotTrustedTitleId = 2426;
const ResourceID_C KeyNotTrustedNoteId = 2427;
const ResourceID_C KeyNotTrustedFinishId = 2428;
// After a failed or refused run: what rpm says is installed, one line per package (a
// package not installed: its name replaces %s).
const ResourceID_C InstalledNowHeadingId = 2429;
const ResourceID_C PackageNotInstalledId = 2430;
// What the transaction does to a package: kept, the medium's version being installed
// (name, version); removed (name, installed version).
const ResourceID_C PackageKeptId = 2440;
const ResourceID_C PackageRemoveId = 2441;
// A repair or modify where another version of the application is installed than the
// medium carries (name, installed version, the medium's version).
const ResourceID_C OtherVersionForMaintenanceId = 2442;
// A rollback's step: "holvane 1.2.3-1: back from 1.2.3-4".
const ResourceID_C PackageDowngradeId = 2443;

// Before the install: a driver module that was not inspected (its path in the package and
// the reason replace the two %s), the reasons (driverInspectionReason), how many more
// were not (their number replaces %s); --require-loadable-driver refuses for it.
const ResourceID_C DriverModuleNotInspectedId = 2340;
const ResourceID_C ModuleTooLargeReasonId = 2341;
const ResourceID_C ModuleUnreadableReasonId = 2342;
const ResourceID_C ModinfoFailedReasonId = 2343;
const ResourceID_C ModulePastCountReasonId = 2344;
const ResourceID_C ModulePastTotalReasonId = 2345;
const ResourceID_C ModuleNotTakenReasonId = 2346;
const ResourceID_C DriverModulesNotInspectedMoreId = 2347;
const ResourceID_C DriverNotInspectedRefusedId = 2348;

// The console wizard's own page texts, which say which key to press where the window's
// say which button to click: welcome, kernel rebuild notice, below the license, setup
// type and review introductions.
const ResourceID_C ConsoleWelcomeTextId = 2200;  // the keys, below the medium's welcome
const ResourceID_C ConsoleKernelRebuildNoticeId = 2201;
const ResourceID_C ConsoleLicenseBottomNoteId = 2202;
const ResourceID_C ConsoleSetupTypeIntroId = 2203;
const ResourceID_C ConsoleReviewIntroId = 2204;
// The license's own key (I Agree replaces %s); what Enter alone on the license says; the
// review page's key, which starts the install.
const ResourceID_C ConsoleAcceptKeyId = 2205;
const ResourceID_C ConsoleEnterDoesNotAcceptId = 2206;
const ResourceID_C ConsoleInstallKeyId = 2207;
// What each package of the install does (name, version on the medium, installed version):
// the heading of the list, new, upgrade, reinstall, kept because the installed one is
// newer.
const ResourceID_C PackagesHeadingId = 2208;
const ResourceID_C PackageNewId = 2209;
const ResourceID_C PackageUpgradeId = 2210;
const ResourceID_C PackageReinstallId = 2211;
const ResourceID_C PackageKeptNewerId = 2212;
// The header of an install without a person: the medium, the components.
const ResourceID_C HeaderMediumId = 2214;
const ResourceID_C HeaderComponentsId = 2215;
// A dry run without the license accepted: what is missing.
const ResourceID_C PlanLicenseMissingId = 2216;

// Day two of an installed version. The line after the plain start's refusal when this
// version is installed, naming --maintain; a repair, modify or remove with this version
// not installed.
const ResourceID_C MaintainHintId = 2150;
const ResourceID_C NotInstalledForMaintenanceId = 2151;
// The install record: none (the choices given, else the typical ones, are used); not
// used (the reason replaces %s); not written or removed (the reason replaces %s).
const ResourceID_C RecordMissingId = 2152;
const ResourceID_C RecordRefusedId = 2153;
const ResourceID_C RecordNotWrittenId = 2154;
// The results of a repair, a modify and a remove.
const ResourceID_C ResultRepairedId = 2155;
const ResourceID_C ResultModifiedId = 2156;
const ResourceID_C ResultRemovedId = 2157;
// The maintenance page: its title, its question and its three choices.
const ResourceID_C MaintainTitleId = 2158;
const ResourceID_C MaintainQuestionId = 2159;
const ResourceID_C MaintainRepairId = 2160;
const ResourceID_C MaintainModifyId = 2161;
const ResourceID_C MaintainRemoveId = 2162;
// An install over an older version: its recorded choices are preselected (the setup
// type and the components replace the two %s).
const ResourceID_C RecordedChoicesId = 2163;

// The words of a repair, a modify and a remove where an install has the medium's own
// (wizard/run_result.h): the review page's introduction (window and console) and the
// heading of its summary; the console review's Enter; the run page's note while it
// runs, its title and note at the end (finished, failed; the finished note is also the
// finish page's); the finish page after a failure, which is also the result line then.
const ResourceID_C RepairReviewIntroId = 2460;
const ResourceID_C ModifyReviewIntroId = 2461;
const ResourceID_C RemoveReviewIntroId = 2462;
const ResourceID_C RepairReviewHeadingId = 2463;
const ResourceID_C ModifyReviewHeadingId = 2464;
const ResourceID_C RemoveReviewHeadingId = 2465;
const ResourceID_C ConsoleRepairKeyId = 2466;
const ResourceID_C ConsoleModifyKeyId = 2467;
const ResourceID_C ConsoleRemoveKeyId = 2468;
const ResourceID_C RepairRunNoteId = 2469;
const ResourceID_C ModifyRunNoteId = 2470;
const ResourceID_C RemoveRunNoteId = 2471;
const ResourceID_C RepairFinishedTitleId = 2472;
const ResourceID_C ModifyFinishedTitleId = 2473;
const ResourceID_C RemoveFinishedTitleId = 2474;
const ResourceID_C RepairFailedTitleId = 2475;
const ResourceID_C ModifyFailedTitleId = 2476;
const ResourceID_C RemoveFailedTitleId = 2477;
const ResourceID_C RepairDoneNoteId = 2478;
const ResourceID_C ModifyDoneNoteId = 2479;
const ResourceID_C RemoveDoneNoteId = 2480;
const ResourceID_C RepairFailedNoteId = 2481;
const ResourceID_C ModifyFailedNoteId = 2482;
const ResourceID_C RemoveFailedNoteId = 2483;
const ResourceID_C RepairFinishFailedId = 2484;
const ResourceID_C ModifyFinishFailedId = 2485;
const ResourceID_C RemoveFinishFailedId = 2486;
// The review summary of a repair, modify or remove: the heading of its components.
const ResourceID_C ActionComponentsHeadingId = 2488;
// The setup type page: the choices of the command line or the answers file are
// preselected (the setup type and the components replace the two %s).
const ResourceID_C GivenChoicesId = 2487;

// The run history: not used (not root's own, or writable by others), a run not added to
// it, and none recorded. The support bundle: written, an existing file refused, a
// directory of another account or one others can write to (not sticky) refused, not
// written.
const ResourceID_C HistoryNotUsedId = 2540;
const ResourceID_C HistoryNotWrittenId = 2541;
const ResourceID_C HistoryNoneId = 2542;
const ResourceID_C BundleWrittenId = 2543;
const ResourceID_C BundleExistsId = 2544;
const ResourceID_C BundleDirectoryUnsafeId = 2545;
const ResourceID_C BundleFailedId = 2546;

// The maintenance copy kept on the host (wizard/maintenance_copy.h): it could not be made
// or removed (the reason replaces %s); a copy without packages cannot repair or roll
// back; --rollback with no earlier version kept; after a failed upgrade, the versions
// --rollback returns to (they replace %s).
const ResourceID_C MaintenanceCopyNotMadeId = 2500;
const ResourceID_C CopyWithoutPackagesId = 2501;
const ResourceID_C NothingToRollBackId = 2502;
const ResourceID_C RollbackAvailableId = 2503;
// The result of a rollback that succeeded.
const ResourceID_C ResultRolledBackId = 2504;
