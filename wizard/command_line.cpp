#include "wizard/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "services/driver_outlook.h"
#include "services/files.h"
#include "services/glib_memory.h"
#include "services/medium_directory.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "wizard/install_log.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// What GLib fills while parsing.
struct Parsed {
    gboolean text = FALSE;
    gboolean unattended = FALSE;
    gboolean acceptLicense = FALSE;
    gboolean dryRun = FALSE;
    gboolean json = FALSE;
    gboolean quiet = FALSE;
    gboolean refusalDialog = FALSE;
    gboolean version = FALSE;
    gboolean verify = FALSE;
    gboolean trustMediumKey = FALSE;
    gboolean requireSignatures = FALSE;
    gboolean requireLoadableDriver = FALSE;
    gboolean status = FALSE;
    gboolean history = FALSE;
    gchar* supportBundle = nullptr;
    gboolean repair = FALSE;
    gboolean modify = FALSE;
    gboolean remove = FALSE;
    gboolean rollback = FALSE;
    gboolean removeDriver = FALSE;
    gboolean maintain = FALSE;
    gboolean yes = FALSE;
    gchar* recordDirectory = nullptr;
    gchar* answers = nullptr;
    gchar* setupType = nullptr;
    gchar* components = nullptr;
    gchar* log = nullptr;
    gchar* record = nullptr;
    gchar* medium = nullptr;
    gchar* hostRoot = nullptr;
    gchar* keepPackages = nullptr;
};

// process-wide: GOption writes each option to the place its entry names, between
// newOptionContext and parseCommandLine, and the context carries no data of its own.
Parsed parsed;

const char* const Description =
    "Installs the storage controller's driver and management application from the\n"
    "medium in the program's own directory (or in --medium DIR). Without --text or\n"
    "--unattended: the graphical wizard when DISPLAY or WAYLAND_DISPLAY is set, else\n"
    "the console wizard when standard input and output are terminals.\n"
    "\n"
    "Answers file (GLib key file):\n"
    "  [stage3]\n"
    "  accept-license=true\n"
    "  setup-type=custom\n"
    "  components=managed-system;notifier;driver\n"
    "  trust-medium-key=true\n"
    "  require-signatures=true\n"
    "  require-loadable-driver=true\n"
    "  keep-packages=false\n"
    "\n"
    "Before the first package is installed, the medium's files are checked against its\n"
    "SHA256SUMS (where it has one), every package against its digests and signature\n"
    "(rpm -K), and the whole install as rpm's test transaction (rpm -U --test); when a\n"
    "check fails nothing is installed. Packages signed with a key that rpm's keyring\n"
    "lacks and that the medium carries (RPM-GPG-KEY-* at its root): the wizards ask\n"
    "whether to import it; unattended it is imported only with --trust-medium-key.\n"
    "Unsigned packages install with a note, or are refused with --require-signatures.\n"
    "\n"
    "An installed version: --status tells what is installed (rpm's answers and the\n"
    "install record /var/lib/stage3/<application package>.ini) and what a run would do.\n"
    "--repair installs the recorded components again, --modify --components LIST (or\n"
    "--setup-type) changes them, --remove removes the application and its add-on (and\n"
    "with --remove-driver the driver); each without a person, with the exit statuses\n"
    "below. --maintain offers the same in the wizards. Without a record the choices\n"
    "given are used, else the typical ones. An install over an older version\n"
    "preselects the recorded choices. --history lists every run that changed the\n"
    "product; --support-bundle FILE gathers the logs, the record, the history, the\n"
    "packages' and the driver's state for support. Each install, upgrade, repair or\n"
    "modify keeps a maintenance copy beside the record (/var/lib/stage3/<application\n"
    "package>/: the programs, texts and packages, with --keep-packages=no without the\n"
    "packages), whose stage3 runs --status, --repair, --modify, --remove and --maintain\n"
    "without the medium. --rollback returns to the versions before the last upgrade,\n"
    "from the copy's packages.\n"
    "\n"
    "Exit status:\n"
    "  0   installed, or nothing was selected\n"
    "  1   start-up refusal (nothing to install, same version installed, no license,\n"
    "      no resource database, a package file rpm cannot take, a medium that another\n"
    "      account could change), or the checks before the first package refused the\n"
    "      install (nothing installed); --verify: a file or package failed its check\n"
    "  2   the install failed\n"
    "  3   cancelled, or the license was not accepted\n"
    "  4   another install is running\n"
    "  5   installed; a restart is needed to use the new driver\n"
    "  64  usage error: unknown option, bad value, unusable answers file, a log file\n"
    "      that cannot be created new, a medium directory that cannot be entered\n";

// An answers file this long is no answers file.
const std::size_t AnswersFileLimit = 64 * 1024;

// Messages quote the command line and the answers file, which may hold anything.
void startError(const std::string& message) {
    fprintf(stderr, "stage3: %s\n", terminalSafeLine(message).c_str());
}

void usageError(const std::string& message) {
    startError(message);
    fprintf(stderr, "Try 'stage3 --help'.\n");
}

std::string freeAndTake(gchar*& text) {
    GCharPtr owned(std::exchange(text, nullptr));
    return owned ? owned.get() : "";
}

bool parseSetupType(const std::string& name, int* index, std::string* error) {
    for (int t = 0; t < NumberOfSetupTypes; ++t) {
        if (name == SetupTypeNames[t]) {
            *index = t;
            return true;
        }
    }
    *error = "unknown setup type '" + name + "' (typical, compact or custom)";
    return false;
}

std::string componentNameList() {
    std::string names;
    for (int i = 0; i < NumberOfComponents; ++i)
        names += std::string(i ? ", " : "") + ComponentNames[i];
    return names;
}

bool readAnswersFile(const std::string& path, Choices* choices, std::string* error) {
    std::string text;
    bool longer = false;
    if (!readRegularFile(path, AnswersFileLimit, &text, &longer)) {
        int reason = errno;
        struct stat info;
        bool special = stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
        *error = "cannot read the answers file " + path + ": " +
                 (special ? "not a regular file" : std::strerror(reason));
        return false;
    }
    if (longer) {
        *error = "answers file " + path + ": longer than 64 KiB";
        return false;
    }
    if (!parseAnswers(text, choices, error)) {
        *error = "answers file " + path + ": " + *error;
        return false;
    }
    return true;
}

// `path` from the directory the program was started in, which the program leaves.
std::string absoluteFrom(const std::string& directory, const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    return directory + "/" + path;
}

// A prepared tree standing for the host: its running kernel's release is the one its
// /proc/sys/kernel/osrelease names, else this host's.
HostRoot preparedHost(const std::string& root) {
    HostRoot host = HostRoot::running();
    host.root = root;
    std::string release;
    if (readRegularFile(root + "/proc/sys/kernel/osrelease", 256, &release) && !release.empty())
        host.release = release.substr(0, release.find('\n'));
    return host;
}

}  // namespace

GOptionContext* newOptionContext() {
    parsed = Parsed();
    static const GOptionEntry entries[] = {
        {"text", 0, 0, G_OPTION_ARG_NONE, &parsed.text, "Run the console wizard", nullptr},
        {"unattended", 0, 0, G_OPTION_ARG_NONE, &parsed.unattended,
         "Install without asking, from the answers file and options", nullptr},
        {"answers", 0, 0, G_OPTION_ARG_FILENAME, &parsed.answers, "Read the choices from FILE",
         "FILE"},
        {"accept-license", 0, 0, G_OPTION_ARG_NONE, &parsed.acceptLicense,
         "Accept the license agreement", nullptr},
        {"setup-type", 0, 0, G_OPTION_ARG_STRING, &parsed.setupType, "typical, compact or custom",
         "TYPE"},
        {"components", 0, 0, G_OPTION_ARG_STRING, &parsed.components,
         "Comma-separated components (custom): web-server, managed-system, notifier, snmp-agent, "
         "driver",
         "LIST"},
        {"dry-run", 0, 0, G_OPTION_ARG_NONE, &parsed.dryRun,
         "Show what would be installed, change nothing", nullptr},
        {"json", 0, 0, G_OPTION_ARG_NONE, &parsed.json,
         "With --dry-run: the plan as one JSON object; with --unattended: one JSON object per "
         "line (step, progress, output, result)",
         nullptr},
        {"quiet", 0, 0, G_OPTION_ARG_NONE, &parsed.quiet,
         "With --unattended: only errors and the result line", nullptr},
        {"log", 0, 0, G_OPTION_ARG_FILENAME, &parsed.log, "Write the install log to FILE", "FILE"},
        {"record", 0, 0, G_OPTION_ARG_FILENAME, &parsed.record,
         "Write the choices made to FILE when the install starts", "FILE"},
        {"medium", 0, 0, G_OPTION_ARG_FILENAME, &parsed.medium,
         "Install from the medium in DIR (default: the program's own directory)", "DIR"},
        {"refusal-dialog", 0, 0, G_OPTION_ARG_NONE, &parsed.refusalDialog,
         "Graphical wizard: show a start-up refusal in a dialog too, for a start without a "
         "terminal",
         nullptr},
        {"verify", 0, 0, G_OPTION_ARG_NONE, &parsed.verify,
         "Check the medium alone (its SHA256SUMS, every package's digests and signature), "
         "one line per file",
         nullptr},
        {"trust-medium-key", 0, 0, G_OPTION_ARG_NONE, &parsed.trustMediumKey,
         "Import the medium's signing key (RPM-GPG-KEY-*) without asking", nullptr},
        {"require-signatures", 0, 0, G_OPTION_ARG_NONE, &parsed.requireSignatures,
         "Refuse the install when a package is not signed", nullptr},
        {"require-loadable-driver", 0, 0, G_OPTION_ARG_NONE, &parsed.requireLoadableDriver,
         "Refuse the install when the new driver would not load here (no module for the "
         "running kernel, Secure Boot)",
         nullptr},
        {"status", 0, 0, G_OPTION_ARG_NONE, &parsed.status,
         "Show the medium's and the installed versions, the install record and what a run "
         "would do; change nothing",
         nullptr},
        {"history", 0, 0, G_OPTION_ARG_NONE, &parsed.history,
         "Show every run that installed, upgraded, repaired, modified or removed the product "
         "(with --json: one JSON object per run)",
         nullptr},
        {"support-bundle", 0, 0, G_OPTION_ARG_FILENAME, &parsed.supportBundle,
         "Write the logs, the record, the history, the packages' and the driver's state to the "
         "new compressed tar archive FILE, for support",
         "FILE"},
        {"maintain", 0, 0, G_OPTION_ARG_NONE, &parsed.maintain,
         "Wizards: repair, modify or remove the installed version", nullptr},
        {"repair", 0, 0, G_OPTION_ARG_NONE, &parsed.repair,
         "Install the recorded components of the installed version again", nullptr},
        {"modify", 0, 0, G_OPTION_ARG_NONE, &parsed.modify,
         "Change the installed version's components (with --components or --setup-type)", nullptr},
        {"remove", 0, 0, G_OPTION_ARG_NONE, &parsed.remove,
         "Remove the application and its add-on (the driver stays)", nullptr},
        {"rollback", 0, 0, G_OPTION_ARG_NONE, &parsed.rollback,
         "Return the application, driver and add-on to the versions before the last upgrade, "
         "from the maintenance copy's packages",
         nullptr},
        {"remove-driver", 0, 0, G_OPTION_ARG_NONE, &parsed.removeDriver,
         "With --remove: remove the driver too, unless other packages need it", nullptr},
        {"yes", 0, 0, G_OPTION_ARG_NONE, &parsed.yes,
         "With --remove: remove without asking (for scripts; --unattended implies it)", nullptr},
        {"keep-packages", 0, 0, G_OPTION_ARG_STRING, &parsed.keepPackages,
         "yes (the default) or no: whether the maintenance copy kept on the host holds the "
         "packages (for a repair or a rollback without the medium)",
         "yes|no"},
        {"version", 0, 0, G_OPTION_ARG_NONE, &parsed.version, "Show the version", nullptr},
        // For tests: the driver's host probes read a prepared tree standing for "/".
        {"host-root", 0, G_OPTION_FLAG_HIDDEN, G_OPTION_ARG_FILENAME, &parsed.hostRoot, nullptr,
         "DIR"},
        // For tests: the install records' directory instead of /var/lib/stage3.
        {"record-directory", 0, G_OPTION_FLAG_HIDDEN, G_OPTION_ARG_FILENAME,
         &parsed.recordDirectory, nullptr, "DIR"},
        {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr}};
    GOptionContext* context = g_option_context_new(nullptr);
    g_option_context_add_main_entries(context, entries, nullptr);
    g_option_context_set_description(context, Description);
    return context;
}

bool wantsModeWithoutDisplay(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (!std::strcmp(argv[i], "--text") || !std::strcmp(argv[i], "--unattended") ||
            !std::strcmp(argv[i], "--dry-run") || !std::strcmp(argv[i], "--verify") ||
            !std::strcmp(argv[i], "--status") || !std::strcmp(argv[i], "--repair") ||
            !std::strcmp(argv[i], "--history") || !std::strncmp(argv[i], "--support-bundle", 16) ||
            !std::strcmp(argv[i], "--modify") || !std::strcmp(argv[i], "--remove") ||
            !std::strcmp(argv[i], "--rollback"))
            return true;
    }
    return false;
}

int parseCommandLine(GOptionContext* context, int* argc, char*** argv, CommandLine* line) {
    GError* failure = nullptr;
    bool ok = g_option_context_parse(context, argc, argv, &failure);
    g_option_context_free(context);
    std::string answers = freeAndTake(parsed.answers);
    std::string setupType = freeAndTake(parsed.setupType);
    std::string components = freeAndTake(parsed.components);
    line->logPath = freeAndTake(parsed.log);
    line->recordPath = freeAndTake(parsed.record);
    line->mediumPath = freeAndTake(parsed.medium);
    line->hostRoot = freeAndTake(parsed.hostRoot);
    line->recordDirectory = freeAndTake(parsed.recordDirectory);
    line->bundlePath = freeAndTake(parsed.supportBundle);
    const std::string keepPackages = freeAndTake(parsed.keepPackages);
    if (!ok) {
        usageError(failure->message);
        g_error_free(failure);
        return ExitUsage;
    }
    if (parsed.version) {
        printf("stage3 %s\n", STAGE3_VERSION);
        return ExitInstalled;
    }
    std::string error;
    // --repair, --modify and --remove run without a person, with its reports.
    const bool maintenanceAction =
        parsed.repair || parsed.modify || parsed.remove || parsed.rollback;
    // Options left for another program to read (GTK's, which stage3-gtk reads again
    // with the whole command line) are not this one's to refuse.
    if (*argc > 1 && !g_option_context_get_ignore_unknown_options(context))
        error = std::string("unexpected argument '") + (*argv)[1] + "'";
    else if (parsed.text && (parsed.unattended || parsed.dryRun))
        error = "--text cannot be combined with --unattended or --dry-run";
    else if (parsed.verify && (parsed.text || parsed.unattended || parsed.dryRun))
        error = "--verify cannot be combined with --text, --unattended or --dry-run";
    else if (parsed.history + !line->bundlePath.empty() + parsed.status + parsed.dryRun +
                     parsed.unattended + parsed.verify + parsed.maintain + maintenanceAction +
                     parsed.text >
                 1 &&
             (parsed.history || !line->bundlePath.empty()))
        error = "--history and --support-bundle go alone (--history with --json)";
    else if (parsed.json && !parsed.dryRun && !parsed.unattended && !parsed.status &&
             !parsed.history && !maintenanceAction)
        error = "--json goes with --dry-run or --unattended (or --status, --history)";
    else if (parsed.quiet && ((!parsed.unattended && !maintenanceAction) || parsed.dryRun))
        error = "--quiet goes with --unattended";
    else if (parsed.yes && !parsed.remove)
        error = "--yes goes with --remove";
    else if (parsed.repair + parsed.modify + parsed.remove + parsed.rollback + parsed.maintain +
                 parsed.status >
             1)
        error = "one of --status, --maintain, --repair, --modify, --remove and --rollback";
    else if ((parsed.status || maintenanceAction) && parsed.text)
        error = "--text goes with --maintain, not with --status, --repair, --modify or --remove";
    else if (parsed.status && (parsed.unattended || parsed.dryRun || parsed.verify))
        error = "--status cannot be combined with --unattended, --dry-run or --verify";
    else if (parsed.maintain && (parsed.unattended || parsed.dryRun || parsed.verify))
        error = "--maintain is for the wizards; unattended: --repair, --modify or --remove";
    else if (parsed.removeDriver && !parsed.remove && !parsed.maintain)
        error = "--remove-driver goes with --remove";

    Choices& choices = line->choices;
    if (error.empty() && !answers.empty())
        readAnswersFile(answers, &choices, &error);
    if (error.empty() && parsed.acceptLicense)
        choices.acceptLicense = true;
    if (parsed.trustMediumKey)
        choices.trustMediumKey = true;
    if (parsed.requireSignatures)
        choices.requireSignatures = true;
    if (parsed.requireLoadableDriver)
        choices.requireLoadableDriver = true;
    if (error.empty() && !keepPackages.empty()) {
        if (keepPackages == "yes" || keepPackages == "no")
            choices.keepPackages = keepPackages == "yes";
        else
            error = "--keep-packages: yes or no, not '" + keepPackages + "'";
    }
    if (error.empty() && !setupType.empty())
        parseSetupType(setupType, &choices.setupType, &error);
    if (error.empty() && !components.empty())
        parseComponentList(components, ',', &choices.components, &error);
    if (error.empty() && choices.components >= 0) {
        if (choices.setupType < 0)
            choices.setupType = CustomSetupType;
        if (choices.setupType != CustomSetupType)
            error = "components are chosen with the custom setup type";
    }
    if (error.empty() && parsed.modify && choices.setupType < 0)
        error = "--modify needs --components or --setup-type";
    if (!error.empty()) {
        usageError(error);
        return ExitUsage;
    }

    line->json = parsed.json;
    line->quiet = parsed.quiet;
    line->assumeYes = parsed.yes || parsed.unattended;
    line->maintain = parsed.maintain;
    line->removeDriver = parsed.removeDriver;
    line->action = parsed.repair     ? Action::Repair
                   : parsed.modify   ? Action::Modify
                   : parsed.remove   ? Action::Remove
                   : parsed.rollback ? Action::Rollback
                                     : Action::Install;
    line->refusalDialog = parsed.refusalDialog;
    if (parsed.history)
        line->mode = Mode::History;
    else if (!line->bundlePath.empty())
        line->mode = Mode::SupportBundle;
    else if (parsed.status)
        line->mode = Mode::Status;
    else if (parsed.verify)
        line->mode = Mode::Verify;
    else if (parsed.dryRun)
        line->mode = Mode::DryRun;
    else if (parsed.unattended || line->action != Action::Install)
        line->mode = Mode::Unattended;
    else if (parsed.text)
        line->mode = Mode::Console;
    else if (displayNamed())
        line->mode = Mode::Graphical;
    else if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))
        line->mode = Mode::Console;
    else {
        fprintf(stderr,
                "stage3: no display and no terminal: use --unattended (with --answers or "
                "--accept-license) or --text.\n");
        return ExitUsage;
    }
    return -1;
}

int enterMediumDirectory(CommandLine* line) {
    const std::string caller = currentDirectory();
    line->logPath = absoluteFrom(caller, line->logPath);
    line->recordPath = absoluteFrom(caller, line->recordPath);
    line->recordDirectory = absoluteFrom(caller, line->recordDirectory);
    line->bundlePath = absoluteFrom(caller, line->bundlePath);
    if (!line->hostRoot.empty())
        setDriverHost(preparedHost(absoluteFrom(caller, line->hostRoot)));
    std::string medium = line->mediumPath.empty() ? programDirectory() : line->mediumPath;
    if (medium.empty()) {
        startError(
            "the program's own directory cannot be found (/proc/self/exe); name the "
            "medium with --medium DIR");
        return ExitUsage;
    }
    if (chdir(medium.c_str()) != 0) {
        startError("the medium directory " + medium +
                   " cannot be entered: " + std::strerror(errno));
        return ExitUsage;
    }
    return -1;
}

int createNamedLog(const CommandLine& line, InstallLog& log) {
    if (line.mode == Mode::DryRun || line.mode == Mode::Verify || line.mode == Mode::Status ||
        line.mode == Mode::History || line.mode == Mode::SupportBundle)
        return -1;
    log.setPath(line.logPath);
    int error = log.createNamed();
    if (error == 0)
        return -1;
    startError("the log " + line.logPath + " cannot be created: " + std::strerror(error));
    if (error == EEXIST)
        fprintf(stderr, "%s\n", getBuiltInString(LogExistsHintId));
    return ExitUsage;
}

bool displayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = g_getenv(name);
        if (value && value[0])
            return true;
    }
    return false;
}

bool parseAnswers(const std::string& text, Choices* choices, std::string* error) {
    std::unique_ptr<GKeyFile, void (*)(GKeyFile*)> file(g_key_file_new(), g_key_file_free);
    GError* failure = nullptr;
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE,
                                   &failure)) {
        *error = failure->message;
        g_error_free(failure);
        return false;
    }
    gsize groups = 0;
    gchar** names = g_key_file_get_groups(file.get(), &groups);
    std::string unknownGroup;
    for (gsize i = 0; i < groups; ++i)
        if (std::strcmp(names[i], "stage3") != 0 && unknownGroup.empty())
            unknownGroup = names[i];
    g_strfreev(names);
    if (!unknownGroup.empty() || !g_key_file_has_group(file.get(), "stage3")) {
        *error =
            unknownGroup.empty() ? "no [stage3] group" : "unknown group [" + unknownGroup + "]";
        return false;
    }
    gchar** keys = g_key_file_get_keys(file.get(), "stage3", nullptr, nullptr);
    bool ok = true;
    for (gchar** key = keys; ok && *key; ++key) {
        std::string name = *key;
        bool* flag = name == "accept-license"            ? &choices->acceptLicense
                     : name == "trust-medium-key"        ? &choices->trustMediumKey
                     : name == "require-signatures"      ? &choices->requireSignatures
                     : name == "require-loadable-driver" ? &choices->requireLoadableDriver
                     : name == "keep-packages"           ? &choices->keepPackages
                                                         : nullptr;
        if (flag) {
            gboolean value = g_key_file_get_boolean(file.get(), "stage3", *key, &failure);
            if (failure) {
                GCharPtr given(g_key_file_get_value(file.get(), "stage3", *key, nullptr));
                *error = "key " + name + ": true or false, not '" +
                         std::string(given ? given.get() : "") + "'";
                g_clear_error(&failure);
                ok = false;
            } else {
                *flag = value;
            }
        } else if (name == "setup-type" || name == "components") {
            GCharPtr value(g_key_file_get_string(file.get(), "stage3", *key, nullptr));
            std::string text = value ? value.get() : "";
            // Components: the key file's list separator ';' and the command line's ',' alike.
            if (name == "components")
                std::replace(text.begin(), text.end(), ',', ';');
            ok = name == "setup-type" ? parseSetupType(text, &choices->setupType, error)
                                      : parseComponentList(text, ';', &choices->components, error);
            if (!ok)
                *error = "key " + name + ": " + *error;
        } else {
            *error = "unknown key '" + name +
                     "' (accept-license, setup-type, components, trust-medium-key, "
                     "require-signatures, require-loadable-driver, keep-packages)";
            ok = false;
        }
    }
    g_strfreev(keys);
    return ok;
}

bool parseComponentList(const std::string& list, char separator, int* components,
                        std::string* error) {
    int bits = 0;
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find(separator, at);
        if (end == std::string::npos)
            end = list.size();
        std::string name = list.substr(at, end - at);
        // Blanks around a name, and an empty item (a trailing ';'), are allowed.
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (!name.empty()) {
            int found = -1;
            for (int i = 0; i < NumberOfComponents; ++i)
                if (name == ComponentNames[i])
                    found = i;
            if (found < 0) {
                *error = "unknown component '" + name + "' (" + componentNameList() + ")";
                return false;
            }
            bits |= 1 << found;
        }
        at = end + 1;
    }
    *components = bits;
    return true;
}

std::string answersText(const Selection& selection, bool licenseAccepted) {
    std::string text = "[stage3]\n";
    text += std::string("accept-license=") + (licenseAccepted ? "true" : "false") + "\n";
    text += "setup-type=" + selection.setupTypeName() + "\n";
    if (selection.setupType == CustomSetupType)
        text += "components=" + selection.componentNames(";") + "\n";
    return text;
}

bool recordChoices(const std::string& path, const Selection& selection) {
    // Written beside the name and renamed over it: the record is whole or not there.
    return placeFile(path, answersText(selection, true), PlaceOptions(0600));
}
