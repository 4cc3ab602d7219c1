// The command line, the answers file and the record of the choices made.
#pragma once

#include <glib.h>

#include <string>

class InstallLog;

struct Selection;

// Exit statuses of every mode.
enum ExitStatus {
    ExitInstalled = 0,  // installed, or nothing was selected
    ExitRefused = 1,    // a start-up refusal
    ExitInstallFailed = 2,
    ExitCancelled = 3,       // cancelled, or the license was not accepted
    ExitInstallRunning = 4,  // another install was running
    ExitRestartNeeded = 5,   // installed; a restart is needed to use the new driver
    ExitUsage = 64           // unknown option, bad value, unusable answers file
};

enum class Mode { Graphical, Console, Unattended, DryRun, Verify, Status, History, SupportBundle };

// The choices a run is given: from the answers file, then the command line over it.
struct Choices {
    bool acceptLicense = false;
    int setupType = -1;   // index into SetupTypeTable; -1 when not given
    int components = -1;  // component bit set; -1 when not given
    // The checks before the first package: import the medium's key without asking, and
    // refuse unsigned packages.
    bool trustMediumKey = false;
    bool requireSignatures = false;
    bool requireLoadableDriver = false;
    // The maintenance copy left on the host keeps the packages installed (repair and
    // rollback without the medium), or only the programs and texts.
    bool keepPackages = true;
};

// What a run does to this medium's version: install it, or (installed) repair, modify
// or remove it.
// A rollback installs again the versions kept from before the last upgrade.
enum class Action { Install, Repair, Modify, Remove, Rollback };

struct CommandLine {
    Mode mode = Mode::Graphical;
    // --repair, --modify, --remove or --rollback (unattended, or the plan of a dry run); --maintain
    // asks the wizards for one on a page of their own.
    Action action = Action::Install;
    bool maintain = false;
    bool removeDriver = false;
    // The install records' directory (tests only); empty for /var/lib/stage3.
    std::string recordDirectory;
    bool json = false;
    bool quiet = false;  // --unattended: errors and the result line only
    // A remove goes ahead without asking (--yes, or --unattended).
    bool assumeYes = false;
    // Graphical wizard: a start-up refusal is also shown in a dialog, for a wizard
    // started where no one sees standard error (a file manager, a desktop entry).
    bool refusalDialog = false;
    std::string logPath;
    std::string recordPath;
    // --support-bundle: the new file the bundle is written to.
    std::string bundlePath;
    // --medium: the medium's directory when it is not the program's own.
    std::string mediumPath;
    // A prepared tree for the driver's host probes (tests only).
    std::string hostRoot;
    Choices choices;
};

// Builds the option context. The caller may add GTK's option group for the graphical
// mode before parsing. The strings filled while parsing are held until parseCommandLine.
GOptionContext* newOptionContext();

// Whether argv asks for a mode without a display (--text, --unattended or --dry-run),
// looked up before parsing so that GTK is only brought in for the graphical wizard.
bool wantsModeWithoutDisplay(int argc, char** argv);

// Whether DISPLAY or WAYLAND_DISPLAY names a display (an empty value names none).
bool displayNamed();

// Parses argv with `context` (which it frees), reads the answers file (a regular file
// of at most 64 KiB, named from the working directory) and chooses the mode. Returns -1 when the
// run goes on; otherwise the exit status, after --help or
// --version was printed (0) or a usage error was written to standard error (64).
int parseCommandLine(GOptionContext* context, int* argc, char*** argv, CommandLine* line);

// Makes the --log and --record paths absolute from the working directory the program
// was started in, then enters the medium directory (--medium, else the running
// program's own), where every file of the medium is found and the install runs.
// Returns -1 when the run goes on; otherwise a usage error was written to standard
// error and the result is its exit status (64).
int enterMediumDirectory(CommandLine* line);

// Makes the log named with --log (the install writes to it) before anything else
// happens; a dry run writes nothing. Returns -1 when the run goes on; otherwise the
// reason the file cannot be created new was written to standard error and the result
// is the exit status (64). `log` is the run's.
int createNamedLog(const CommandLine& line, InstallLog& log);

// Parses an answers file's text into `choices`. False with a message naming the line or
// the key when it is malformed.
bool parseAnswers(const std::string& text, Choices* choices, std::string* error);

// A comma-separated (or ';'-separated) list of component names as a bit set; false with
// a message naming the unknown name.
bool parseComponentList(const std::string& list, char separator, int* components,
                        std::string* error);

// The answers file for a selection (license accepted, setup type, components).
std::string answersText(const Selection& selection, bool licenseAccepted);

// Writes a selection to `path` atomically with mode 0600 (the record of a run).
bool recordChoices(const std::string& path, const Selection& selection);
