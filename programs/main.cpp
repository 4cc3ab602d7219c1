// stage3: the installation wizard for the storage controller's driver and its
// management application: the graphical wizard, the console wizard, or an install
// without a person (--unattended), all over one core. The medium is the program's own
// directory (or --medium DIR), wherever it was started from.
//
// The program is built twice. `stage3` holds every mode but the graphical one and is
// linked without GTK: it starts fast and runs on servers that have no GTK. For the
// graphical wizard it runs `stage3-gtk` from its own directory with the same command
// line; `stage3-gtk` holds every mode.
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/console_wizard.h"
#include "programs/builtin_texts.h"
#include "services/descriptor.h"
#include "services/file_search.h"
#include "services/medium_directory.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "unattended/maintenance_run.h"
#include "unattended/support_bundle.h"
#include "unattended/unattended.h"
#include "wizard/command_line.h"
#include "wizard/install_checks.h"
#include "wizard/install_record.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/maintenance_copy.h"
#include "wizard/startup.h"

#ifdef STAGE3_GRAPHICAL
#include <gtk/gtk.h>

#include "interface/gui.h"
#include "interface/refusal_dialog.h"
#endif

namespace {

#ifndef STAGE3_GRAPHICAL
// Replaces this process by stage3-gtk, found beside this program's own file, with the
// command line it was given; it enters the medium directory itself. As root, the medium
// is judged first, as every mode judges it, and so is stage3-gtk: a file of its own, not
// a link, that no other account can change. It is run from the descriptor it was judged
// through, so that the file judged is the file run. Returns only when it is not run.
int runGraphicalProgram(const CommandLine& line, const std::vector<std::string>& arguments) {
    const std::string directory = programDirectory();
    std::string medium = line.mediumPath.empty() ? directory : line.mediumPath;
    if (!medium.empty()) {
        // Judged at its physical path, which is where stage3-gtk's chdir leads.
        std::unique_ptr<char, decltype(&free)> physical(realpath(medium.c_str(), nullptr), free);
        if (physical && refuseChangeableMedium(physical.get()))
            return 1;
    }
    std::string program = directory + "/stage3-gtk";
    bool refused = false;
    Descriptor fd(openProgramToRun(program, &refused));
    if (refused)
        return 1;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (fd.valid())
        fexecve(fd.get(), argv.data(), environ);
    fprintf(stderr,
            "stage3: the graphical wizard (%s) cannot be started (%s); use --text or "
            "--unattended.\n",
            terminalSafeLine(program).c_str(), std::strerror(errno));
    return ExitUsage;
}
#endif

#ifdef STAGE3_GRAPHICAL
// The display GTK opens, as the user named it (--display, WAYLAND_DISPLAY or DISPLAY).
std::string displayToOpen() {
    const char* named = gdk_get_display_arg_name();
    if (!named || !named[0])
        named = g_getenv("WAYLAND_DISPLAY");
    if (!named || !named[0])
        named = g_getenv("DISPLAY");
    return std::string("'") + (named ? named : "") + "'";
}
#endif

// A locale the C library does not have (LANG=de_AT.UTF-8 where only de_DE is made) leaves
// the C locale, whose ASCII cannot show a text with a letter beyond it: that text would be
// in English and the others in the language asked for. When the locale asked for is a
// UTF-8 one, its encoding is that of C.UTF-8, so that every text is in the closest
// language the medium or the program has.
void keepAskedForUtf8() {
    const char* ctype = setlocale(LC_CTYPE, nullptr);
    if (ctype && std::strcmp(ctype, "C") != 0 && std::strcmp(ctype, "POSIX") != 0)
        return;
    const char* asked = nullptr;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        asked = g_getenv(name);
        if (asked && asked[0])
            break;
    }
    const char* codeset = asked ? std::strchr(asked, '.') : nullptr;
    if (codeset &&
        (!g_ascii_strncasecmp(codeset, ".utf-8", 6) || !g_ascii_strncasecmp(codeset, ".utf8", 5)))
        setlocale(LC_CTYPE, "C.UTF-8");
}

// Runs the mode the command line chose, in the medium directory.
int runMode(InstallRun& run, const CommandLine& line, int* argc, char*** argv) {
    switch (line.mode) {
        case Mode::Graphical:
#ifdef STAGE3_GRAPHICAL
            if (!gtk_init_check(argc, argv)) {
                fprintf(stderr,
                        "stage3: the display %s cannot be opened; use --text or --unattended.\n",
                        displayToOpen().c_str());
                return ExitUsage;
            }
            if (int status = checkStartupPreconditions(run)) {
                if (line.refusalDialog)
                    showRefusalDialog(run.startupRefusal);
                return status;
            }
            return runGraphicalWizard(run, line.choices, line.maintain);
#else
            (void)run;
            (void)argc;
            (void)argv;
            return ExitUsage;
#endif
        case Mode::Console:
            return runConsoleWizard(run, line.choices, line.maintain);
        case Mode::Unattended:
            if (line.action != Action::Install)
                return runMaintenance(run, line.choices,
                                      {false, line.json, line.quiet, line.assumeYes});
            return runUnattended(run, line.choices, false, line.json, line.quiet);
        case Mode::DryRun:
            if (line.action != Action::Install)
                return runMaintenance(run, line.choices, {true, line.json, false, true});
            return runUnattended(run, line.choices, true, line.json);
        case Mode::Status:
            return showStatus(run, line.json);
        case Mode::History:
            return showRunHistory(line.json);
        case Mode::SupportBundle:
            return writeSupportBundle(line.bundlePath);
        case Mode::Verify:
            return verifyMedium(run.checkPolicy);
    }
    return ExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Read only when the medium's database lacks a text: start-up costs nothing.
    stringUseBuiltInTexts(BuiltInTexts, BuiltInTextsSize);
    std::vector<std::string> arguments(argv, argv + argc);
    GOptionContext* context = newOptionContext();
    bool graphical = !wantsModeWithoutDisplay(argc, argv) && displayNamed();
#ifdef STAGE3_GRAPHICAL
    // GTK and its options only for the graphical wizard: the other modes never open a
    // display.
    // The display is opened after the command line is read, so that one that cannot be
    // opened gets a line of its own.
    if (graphical)
        g_option_context_add_group(context, gtk_get_option_group(FALSE));
#else
    // GTK's own options (--display and the like) are for stage3-gtk to read.
    if (graphical)
        g_option_context_set_ignore_unknown_options(context, TRUE);
#endif
    if (!graphical)
        setlocale(LC_ALL, "");
    CommandLine line;
    int status = parseCommandLine(context, &argc, &argv, &line);
    if (status >= 0)
        return status;
    // The locale is set by now: above for the modes without a display, by GTK's options
    // for the graphical wizard.
    keepAskedForUtf8();

#ifndef STAGE3_GRAPHICAL
    // stage3-gtk reads the same command line from the same directory.
    if (line.mode == Mode::Graphical)
        return runGraphicalProgram(line, arguments);
#endif
    // The run's state, from its start-up checks to the end of its install.
    InstallRun run;
    if ((status = enterMediumDirectory(&line)) >= 0 ||
        (status = createNamedLog(line, run.log)) >= 0)
        return status;
    setLocaleSubdirectory();
    run.recordPath = line.recordPath;
    if (!line.recordDirectory.empty())
        setInstallRecordDirectory(line.recordDirectory);
    // --maintain: every action it offers needs this version installed.
    setInstallAction(run, line.maintain ? Action::Repair : line.action, line.removeDriver);
    run.keepPackages = line.choices.keepPackages;
    run.checkPolicy = {line.choices.requireSignatures, line.choices.trustMediumKey,
                       line.choices.requireLoadableDriver};
    status = runMode(run, line, &argc, &argv);
    run.log.discardUnused();
    return status;
}
