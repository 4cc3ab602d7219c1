#include "console/console_wizard.h"

#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "console/terminal_io.h"
#include "console/text_layout.h"
#include "services/license_text.h"
#include "services/mnemonic.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_plan.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/progress.h"
#include "wizard/run_result.h"
#include "wizard/startup.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

namespace {

// The most characters shown of a title or a button label and of any other text, as in
// the window: a damaged medium's text of megabytes is not laid out.
const std::size_t TitleLimit = 256;
const std::size_t TextLimit = 16384;

const char* const Prompt = "> ";

// ------------------------------------------------------------------ writing

std::string text(const ResourceID_C& id) {
    return getString(id);
}

// The columns a line may take. One less than the terminal's width: a terminal without
// the deferred wrap of VT100s (the dumb terminal among them) moves on to the next line
// after the last column, and the newline would then leave an empty line.
int lineWidth() {
    return std::max(terminalSize().columns - 1, 20);
}

std::vector<std::string> layout(const std::string& localeText, std::size_t limit,
                                int hangingIndent = 0) {
    std::string safe = terminalSafeText(cutToCharacters(localeText, limit).c_str());
    // The newline that ends a text's last line leaves no empty line after it.
    if (!safe.empty() && safe.back() == '\n')
        safe.pop_back();
    return wrapText(safe, lineWidth(), hangingIndent);
}

void writeLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + '\n';
    writeOut(out);
}

// Writes text of the database, wrapped; returns the number of lines.
int say(const std::string& localeText, int hangingIndent = 0) {
    std::vector<std::string> lines = layout(localeText, TextLimit, hangingIndent);
    writeLines(lines);
    return static_cast<int>(lines.size());
}

int blankLine() {
    writeOut("\n");
    return 1;
}

// A page or dialog title, underlined, after a blank line.
int sayTitle(const ResourceID_C& id) {
    std::vector<std::string> lines = layout(text(id), TitleLimit);
    int width = 0;
    for (const std::string& line : lines) width = std::max(width, displayWidth(line));
    lines.insert(lines.begin(), "");
    lines.push_back(std::string(std::max(width, 1), '='));
    writeLines(lines);
    return static_cast<int>(lines.size());
}

// A button label as the window shows it, without the underscore of its access key.
std::string label(const ResourceID_C& id) {
    return cutToCharacters(withoutMnemonics(text(id)), TitleLimit);
}

std::string keyHint(const ResourceID_C& keyId, const ResourceID_C& labelId) {
    return fillText(text(keyId), {label(labelId)});
}

// The keys of a page's buttons: its Next, and Back and Cancel where it has them.
std::string pageKeys(const DialogPageConfig& page) {
    std::string keys = keyHint(ConsoleNextKeyId, page.nextLabelId);
    if (page.backEnabled)
        keys += "   " + keyHint(ConsoleBackKeyId, BackLabelId);
    if (page.cancelEnabled)
        keys += "   " + keyHint(ConsoleCancelKeyId, CancelLabelId);
    return keys;
}

// ------------------------------------------------------------------ reading

std::string trimmed(const std::string& line) {
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

Input ask(std::string* answer) {
    writeOut(Prompt);
    Input input = readLine(answer);
    // The terminal shows ^C, or nothing of a line not ended, on the prompt's line.
    if (input != Input::Line)
        writeOut("\n");
    *answer = trimmed(*answer);
    return input;
}

bool isKey(const std::string& answer, char key) {
    return answer.size() == 1 && (answer[0] == key || answer[0] == key - 'a' + 'A');
}

// The number `answer` gives, 0 when it is none from 1 to `count`.
int chosenNumber(const std::string& answer, int count) {
    if (answer.empty() || answer.size() > 3 ||
        answer.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    int number = std::stoi(answer);
    return number >= 1 && number <= count ? number : 0;
}

std::wstring lowerWide(const std::string& localeText) {
    std::wstring wide;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < localeText.size();) {
        wchar_t c = 0;
        std::size_t n = std::mbrtowc(&c, localeText.data() + at, localeText.size() - at, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0)
            return wide;
        wide += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        at += n;
    }
    return wide;
}

// ------------------------------------------------------------------ the exit question

enum class Answer { Yes, No };

// Whether `answer` names the button `label`: the whole label or its first letter, in
// any case; the letter only when the other label starts otherwise.
bool namesButton(const std::string& answer, const std::string& label, const std::string& other) {
    std::wstring typed = lowerWide(answer), name = lowerWide(label), otherName = lowerWide(other);
    if (typed.empty() || name.empty())
        return false;
    if (typed == name)
        return true;
    return typed.size() == 1 && typed[0] == name[0] &&
           (otherName.empty() || otherName[0] != name[0]);
}

// The exit question. Enter alone and a Ctrl-C answer No, as the window's default button
// and its close box do; the end of input answers Yes.
Answer askExit() {
    sayTitle(ExitDialogTitleId);
    say(text(ExitQuestionId));
    blankLine();
    std::string yes = label(YesLabelId), no = label(NoLabelId);
    say(" 1  " + yes);
    say(" 2  " + no);
    say(fillText(text(ConsoleExitAnswerHintId), {no}));
    for (;;) {
        std::string answer;
        Input input = ask(&answer);
        if (input == Input::End)
            return Answer::Yes;
        if (input == Input::Interrupt || answer.empty())
            return Answer::No;
        if (answer == "1" || namesButton(answer, yes, no))
            return Answer::Yes;
        if (answer == "2" || namesButton(answer, no, yes))
            return Answer::No;
        say(text(ConsoleNotAChoiceId));
    }
}

// ------------------------------------------------------------------ the key question

// Whether the medium's key may be imported, asked as rpm's tools ask: Enter, a Ctrl-C and
// the end of input answer No.
bool askTrustKey(const KeyQuestion& question) {
    blankLine();
    say(question.text);
    std::string yes = label(YesLabelId), no = label(NoLabelId);
    writeOut(text(KeyQuestionId) + " [y/N]: ");
    std::string answer;
    Input input = readLine(&answer);
    if (input != Input::Line)
        writeOut("\n");
    answer = trimmed(answer);
    return input == Input::Line &&
           (isKey(answer, 'y') || lowerWide(answer) == L"yes" || namesButton(answer, yes, no));
}

// ------------------------------------------------------------------ pages

enum class Move {
    Next,
    Back,
    Cancel,  // the exit question was answered Yes
    Leave,   // Ctrl-C after the install: the wizard ends now
    End      // the end of input
};

// What an input that is not a button did on a page.
enum class Choice {
    None,    // not a choice of this page
    Made,    // the page is shown again
    Refused  // the reason was said
};

struct PageWalk {
    const DialogPageConfig* page;
    std::function<void()> show;                                  // the page above its keys
    std::function<Choice(const std::string&)> choose = nullptr;  // numbers typed on it
    std::string keys = "";  // the keys shown, when not the page's buttons
    // The key that goes on instead of Enter (the license's consent), and what Enter says.
    char nextKey = 0;
    ResourceID_C enterRefusalId = 0;
};

// Shows the page and takes inputs until one moves on.
Move walk(const PageWalk& pageWalk) {
    const DialogPageConfig& page = *pageWalk.page;
    auto showAll = [&]() {
        pageWalk.show();
        say(pageWalk.keys.empty() ? pageKeys(page) : pageWalk.keys);
    };
    showAll();
    for (;;) {
        std::string answer;
        Input input = ask(&answer);
        if (input == Input::End)
            return Move::End;
        if (input == Input::Line && pageWalk.nextKey && isKey(answer, pageWalk.nextKey))
            return Move::Next;
        if (input == Input::Line && answer.empty() && pageWalk.nextKey) {
            say(text(pageWalk.enterRefusalId));
            continue;
        }
        if (input == Input::Line && answer.empty())
            return Move::Next;
        if (input == Input::Line && isKey(answer, 'b') && page.backEnabled)
            return Move::Back;
        bool cancel = input == Input::Interrupt || isKey(answer, 'q');
        if (cancel && page.cancelEnabled) {
            if (askExit() == Answer::Yes)
                return Move::Cancel;
            showAll();
            continue;
        }
        // Only the pages after the install have no Cancel: Ctrl-C there ends the wizard, as
        // the window's close box does on the finish page.
        if (input == Input::Interrupt)
            return Move::Leave;
        Choice choice = !cancel && pageWalk.choose ? pageWalk.choose(answer) : Choice::None;
        if (choice == Choice::Made)
            showAll();
        if (choice == Choice::None)
            say(text(ConsoleNotAChoiceId));
    }
}

std::string componentName(int index) {
    return text(ComponentTable[index].nameId);
}

// A numbered choice and its description below it.
void sayChoice(int number, const ResourceID_C& markerId, const std::string& name,
               const ResourceID_C& descriptionId) {
    std::string marker = cutToCharacters(text(markerId), 8);
    std::string line =
        (number < 10 ? " " : "") + std::to_string(number) + "  " + marker + " " + name;
    int indent = 4 + displayWidth(terminalSafeText(marker.c_str())) + 1;
    say(line, indent);
    say(std::string(indent, ' ') + text(descriptionId));
}

// Whether a paragraph names a button of the graphical wizard: Back, Next or Cancel, by
// its label as shown ("< _Back" reads "Back"; the arrows and access keys go).
bool namesGraphicalButtons(const std::string& paragraph) {
    for (const ResourceID_C& id : {BackLabelId, NextLabelId, CancelLabelId}) {
        std::string label = withoutMnemonics(text(id));
        const std::size_t first = label.find_first_not_of("<> ");
        if (first == std::string::npos)
            continue;
        label = label.substr(first, label.find_last_not_of("<> ") + 1 - first);
        if (paragraph.find(label) != std::string::npos)
            return true;
    }
    return false;
}

// The medium's welcome as the console shows it: whole, but for a last paragraph (of
// several) that tells which graphical buttons to click, which the console has not.
std::string consoleWelcome(std::string welcome) {
    welcome.erase(welcome.find_last_not_of('\n') + 1);
    const std::size_t last = welcome.rfind("\n\n");
    if (last != std::string::npos && namesGraphicalButtons(welcome.substr(last + 2)))
        welcome.erase(last);
    return welcome;
}

Move welcomePage(const DialogPageConfig& page) {
    return walk({&page, [] {
                     sayTitle(WelcomeTitleId);
                     // The medium's own welcome, then the console's keys.
                     const std::string welcome = consoleWelcome(text(WelcomeTextId));
                     if (!welcome.empty()) {
                         say(welcome);
                         blankLine();
                     }
                     say(text(ConsoleWelcomeTextId));
                     blankLine();
                 }});
}

Move kernelRebuildPage(const DialogPageConfig& page) {
    return walk({&page, [] {
                     sayTitle(KernelRebuildTitleId);
                     say(text(ConsoleKernelRebuildNoticeId));
                     blankLine();
                 }});
}

std::string licenseText() {
    std::string fileText;
    bool cut = false;
    if (!readLicenseFile(&fileText, &cut))
        return text(NoLicenseTextId);
    std::string shown = externalToLocale(fileText);
    if (cut)
        shown += "\n\n" + text(LicenseTextCutId);
    return shown;
}

// The license a screenful at a time. Next once it was shown, Back or the end of the
// exit question otherwise.
Move pageLicense(int linesAbove) {
    std::vector<std::string> lines = wrapText(terminalSafeText(licenseText().c_str()), lineWidth());
    std::string keys = text(ConsoleMoreKeyId) + "   " + text(ConsoleSkipKeyId) + "   " +
                       keyHint(ConsoleBackKeyId, BackLabelId) + "   " +
                       keyHint(ConsoleCancelKeyId, CancelLabelId);
    std::size_t shown = 0;
    bool toTheEnd = false;
    while (shown < lines.size()) {
        std::vector<std::string> keyLines = layout(keys, TextLimit);
        // A screenful leaves room for the keys and the line typed below them.
        int room = terminalSize().rows - static_cast<int>(keyLines.size()) - 1 - linesAbove;
        std::size_t count =
            toTheEnd ? lines.size() - shown : static_cast<std::size_t>(std::max(room, 1));
        count = std::min(count, lines.size() - shown);
        writeLines(std::vector<std::string>(lines.begin() + shown, lines.begin() + shown + count));
        shown += count;
        linesAbove = 0;
        while (shown < lines.size()) {
            writeLines(keyLines);
            std::string answer;
            Input input = ask(&answer);
            if (input == Input::End)
                return Move::End;
            if (input == Input::Line && answer.empty())
                break;
            if (input == Input::Line && isKey(answer, 's')) {
                toTheEnd = true;
                break;
            }
            if (input == Input::Line && isKey(answer, 'b'))
                return Move::Back;
            if (input == Input::Interrupt || isKey(answer, 'q')) {
                if (askExit() == Answer::Yes)
                    return Move::Cancel;
                break;
            }
            say(text(ConsoleNotAChoiceId));
        }
    }
    return Move::Next;
}

Move licensePage(const DialogPageConfig& page) {
    int above = sayTitle(LicenseTitleId);
    above += say(text(LicenseTopNoteId));
    above += blankLine();
    Move paged = pageLicense(above);
    if (paged != Move::Next)
        return paged;
    // Only the license's own key accepts it: Enter, which pages through the text, never.
    std::string keys = fillText(text(ConsoleAcceptKeyId), {label(page.nextLabelId)}) + "   " +
                       keyHint(ConsoleBackKeyId, BackLabelId) + "   " +
                       keyHint(ConsoleCancelKeyId, CancelLabelId);
    return walk({&page,
                 [] {
                     blankLine();
                     say(text(ConsoleLicenseBottomNoteId));
                     blankLine();
                 },
                 nullptr, keys, 'a', ConsoleEnterDoesNotAcceptId});
}

Move setupTypePage(Wizard& wizard, const DialogPageConfig& page) {
    auto show = [&wizard] {
        sayTitle(SetupTypeTitleId);
        say(text(ConsoleSetupTypeIntroId));
        blankLine();
        // Where the choice shown came from, when not from the medium's defaults.
        if (!wizard.preselectionNote().empty()) {
            say(wizard.preselectionNote());
            blankLine();
        }
        for (int t = 0; t < NumberOfSetupTypes; ++t)
            sayChoice(t + 1,
                      t == wizard.selection().setupType ? ConsoleChosenMarkerId
                                                        : ConsoleNotChosenMarkerId,
                      label(wizard.setupType(t).titleId), wizard.setupType(t).descriptionId);
        blankLine();
        say(text(ConsoleSetupTypeHintId));
    };
    auto choose = [&wizard](const std::string& answer) {
        int number = chosenNumber(answer, NumberOfSetupTypes);
        if (number == 0)
            return Choice::None;
        wizard.chooseSetupType(number - 1);
        return Choice::Made;
    };
    return walk({&page, show, choose});
}

// The components the host offers, in table order: the numbers of the components page.
std::vector<int> offeredComponents(const Wizard& wizard) {
    std::vector<int> offered;
    for (int i = 0; i < NumberOfComponents; ++i)
        if (wizard.component(i).available)
            offered.push_back(i);
    return offered;
}

// Why component `index` cannot be changed, in a sentence.
std::string lockReason(const Wizard& wizard, int index, ComponentLock lock) {
    if (lock == ComponentLock::DriverNotNewer)
        return text(DriverNotNewerId);
    int requiring = wizard.requiredBy(index);
    if (lock != ComponentLock::Required || requiring < 0)
        return text(ConsoleNotAChoiceId);
    return fillText(text(ComponentRequiredId), {componentName(index), componentName(requiring)});
}

Move componentsPage(Wizard& wizard, const DialogPageConfig& page) {
    auto show = [&wizard] {
        sayTitle(ComponentsTitleId);
        say(text(ComponentsIntroId));
        blankLine();
        std::vector<int> offered = offeredComponents(wizard);
        for (std::size_t n = 0; n < offered.size(); ++n) {
            int i = offered[n];
            std::string name = label(wizard.component(i).nameId);
            if (wizard.lock(i) != ComponentLock::None)
                name += " " + text(ConsoleLockedMarkerId);
            sayChoice(static_cast<int>(n) + 1,
                      wizard.selection().has(i) ? ConsoleSelectedMarkerId : ConsoleClearedMarkerId,
                      name, wizard.component(i).descriptionId);
        }
        blankLine();
        say(text(ConsoleComponentsHintId));
    };
    auto choose = [&wizard](const std::string& answer) {
        std::vector<int> offered = offeredComponents(wizard);
        int number = chosenNumber(answer, static_cast<int>(offered.size()));
        if (number == 0)
            return Choice::None;
        int i = offered[number - 1];
        ComponentLock lock = wizard.toggleComponent(i, !wizard.selection().has(i));
        if (lock == ComponentLock::None)
            return Choice::Made;
        say(lockReason(wizard, i, lock));
        return Choice::Refused;
    };
    return walk({&page, show, choose});
}

// The maintenance page's choices, in their order.
const Action MaintenanceActions[] = {Action::Repair, Action::Modify, Action::Remove};
const ResourceID_C MaintenanceLabels[] = {MaintainRepairId, MaintainModifyId, MaintainRemoveId};

// On the review page of a repair, modify or remove: which one runs.
void sayMaintenanceAction(const Wizard& wizard) {
    if (!wizard.maintaining())
        return;
    for (int i = 0; i < 3; ++i)
        if (MaintenanceActions[i] == installAction(wizard.run()))
            say(label(MaintenanceLabels[i]));
    blankLine();
}

// The first page of --maintain: Repair, Modify or Remove; Next takes the one chosen.
Move maintenancePage(Action* chosen) {
    static const DialogPageConfig page{MaintainTitleId, NextLabelId, 0, 1};
    auto show = [chosen] {
        sayTitle(MaintainTitleId);
        say(text(MaintainQuestionId));
        blankLine();
        for (int i = 0; i < 3; ++i) {
            std::string marker =
                cutToCharacters(text(MaintenanceActions[i] == *chosen ? ConsoleChosenMarkerId
                                                                      : ConsoleNotChosenMarkerId),
                                8);
            say(" " + std::to_string(i + 1) + "  " + marker + " " + label(MaintenanceLabels[i]));
        }
        blankLine();
    };
    auto choose = [chosen](const std::string& answer) {
        int number = chosenNumber(answer, 3);
        if (number == 0)
            return Choice::None;
        *chosen = MaintenanceActions[number - 1];
        return Choice::Made;
    };
    return walk({&page, show, choose});
}

// The review page's Enter starts the action, and its keys say so.
Move reviewPage(const Wizard& wizard, const DialogPageConfig& page) {
    const ActionWords& words = actionWords(installAction(wizard.run()));
    std::string keys = text(words.startKey) + "   " + keyHint(ConsoleBackKeyId, BackLabelId) +
                       "   " + keyHint(ConsoleCancelKeyId, CancelLabelId);
    return walk({&page,
                 [&wizard, &words] {
                     sayTitle(ReviewTitleId);
                     say(text(words.consoleReviewIntro));
                     blankLine();
                     sayMaintenanceAction(wizard);
                     say(text(words.reviewHeading));
                     say(wizard.reviewText() + packagePlanText(wizard.run(), wizard.selection()));
                     blankLine();
                 },
                 nullptr, keys});
}

// ------------------------------------------------------------------ the install run

// The run page while the install runs: its output as it comes, and a Ctrl-C that lets the
// install finish before the wizard ends.
struct Run {
    GMainLoop* loop = nullptr;
    ColumnBreaker breaker{lineWidth()};
    bool toTerminal = isatty(STDOUT_FILENO) != 0;
    bool leaving = false;
    InstallOutcome outcome;
    InstallProgress progress;
    int progressShown = 0;  // the percentage of the last progress line
    int checksShown = -1;   // the quarter of the checks' last progress line
};

void showOutput(Run& run, const std::string& output) {
    std::string shown = utf8ToLocale(output);
    if (run.toTerminal)
        shown = terminalSafeText(shown.c_str());
    writeOut(run.breaker.feed(shown));
}

// A progress line of its own each time the install passes another tenth, between lines
// of the output (a line the output has begun is left whole; a later line catches up).
void showProgress(Run& run) {
    int percent = static_cast<int>(run.progress.fraction() * 10 + 1e-9) * 10;
    if (percent <= run.progressShown || !run.breaker.atLineStart())
        return;
    run.progressShown = percent;
    say(fillText(text(ConsoleProgressLineId), {std::to_string(percent)}));
}

// The end of the run page: the last progress line, and the title and note that say how
// the run ended.
void showInstallEnd(Run& run, const RunResult& result) {
    run.progress.finish(result.succeeded);
    showProgress(run);
    sayTitle(result.runTitle);
    say(text(result.runNote));
}

// The checks before the first package: a line when they start, and one each time they
// pass another quarter.
void showChecks(Run& run, std::size_t done, std::size_t total) {
    int quarter = total ? static_cast<int>(done * 4 / total) : 4;
    if (run.checksShown < 0)
        say(text(ChecksRunningId));
    if (quarter <= run.checksShown)
        return;
    run.checksShown = quarter;
    say(fillText(text(ChecksProgressLineId), {std::to_string(done), std::to_string(total)}));
}

gboolean onRunInterrupted(gpointer data) {
    Run& run = *static_cast<Run*>(data);
    if (!run.leaving) {
        run.leaving = true;
        if (!run.breaker.atLineStart())
            writeOut(run.breaker.feed("\n"));
        say(text(InstallStillRunningId));
    }
    return G_SOURCE_CONTINUE;
}

// Starts the install and streams its output until it ended. False when the user asked
// to leave while it ran.
bool runInstall(Wizard& wizard) {
    Run run;
    run.loop = g_main_loop_new(nullptr, FALSE);
    InstallObserver observer;
    observer.output = [&run](const std::string& output) { showOutput(run, output); };
    observer.progress = [&run](const std::string& line) {
        run.progress.take(line, g_get_monotonic_time());
        showProgress(run);
    };
    observer.ended = [&run](const InstallOutcome& outcome) {
        run.outcome = outcome;
        g_main_loop_quit(run.loop);
    };
    observer.askOnTerminal = true;
    observer.checking = [&run](std::size_t done, std::size_t total) {
        showChecks(run, done, total);
    };
    observer.trustKey = askTrustKey;
    // The script is started with Ctrl-C ignored, which it keeps: the terminal sends the
    // signal to the whole foreground process group, and an install stopped half way
    // through rpm is worse than one that finishes.
    signal(SIGINT, SIG_IGN);
    InstallRun& installRun = wizard.run();
    InstallStart start = startInstallRun(installRun, wizard.selection(), observer);
    if (start == InstallStart::Running) {
        guint interruptSource = g_unix_signal_add(SIGINT, onRunInterrupted, &run);
        g_main_loop_run(run.loop);
        sigset_t interrupt, previous;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        // Removing the source gives SIGINT its default action back; a Ctrl-C in between
        // waits for the console's own handler.
        sigprocmask(SIG_BLOCK, &interrupt, &previous);
        g_source_remove(interruptSource);
        catchInterrupts();
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (!run.breaker.atLineStart())
            writeOut(run.breaker.feed("\n"));
        wizard.finishInstall(
            runResult(lastRunFacts(installRun, wizard.selection(), false, &run.outcome)));
        showInstallEnd(run, wizard.result());
    } else {
        catchInterrupts();
        wizard.finishInstall(runResult(lastRunFacts(
            installRun, wizard.selection(), start == InstallStart::NothingSelected, nullptr)));
        if (start == InstallStart::NotStarted) {
            say(text(installRun.notStartedReason));
            showInstallEnd(run, wizard.result());
        } else {
            say(text(ResultNothingSelectedId));
        }
    }
    g_main_loop_unref(run.loop);
    dropTypeAhead();
    return !run.leaving;
}

// Entering the run page starts the install. False when the wizard ends with it.
bool enterRunPage(Wizard& wizard) {
    sayTitle(RunTitleId);
    say(text(actionWords(installAction(wizard.run())).runNote));
    blankLine();
    return runInstall(wizard);
}

Move runPage(const DialogPageConfig& page) {
    return walk({&page, [] { blankLine(); }});
}

// How the run ended, the notices after it and the log's place.
void showResult(const Wizard& wizard) {
    const RunResult& result = wizard.result();
    say(text(result.finishText));
    // After a remove the read-me and the registration are nothing to the user.
    if (result.succeeded && !result.nothingSelected && result.action != Action::Remove) {
        blankLine();
        say(text(ReadMeNoteId));
        // A registration notice still holding markup source is not fit to be
        // shown.
        std::string notice = text(RegisterControllerId);
        if (notice.find("</source>") == std::string::npos) {
            blankLine();
            say(notice);
        }
    } else if (!result.succeeded) {
        if (result.reason) {
            blankLine();
            say(text(result.reason));
            for (const std::string& line : wizard.run().refusalLines) say(line);
        }
        blankLine();
        for (const std::string& line : installedNowLines(readInstalledState())) say(line);
    }
    for (ResourceID_C id : result.driverTexts) {
        blankLine();
        say(text(id));
    }
    std::string proxyLine = proxyNoticeLine(wizard.selection(), result.proxyNotice);
    if (!proxyLine.empty()) {
        blankLine();
        say(proxyLine);
    }
    if (!result.logPath.empty()) {
        blankLine();
        say(result.logLine());
    }
    blankLine();
}

Move finishPage(const Wizard& wizard, const DialogPageConfig& page) {
    return walk({&page, [&wizard] {
                     sayTitle(FinishTitleId);
                     showResult(wizard);
                 }});
}

// After Finish: the proxy notice when the web server was installed.
void postInstallNotice(const Wizard& wizard) {
    if (!wizard.result().proxyNotice || !graphicalDisplayPresent())
        return;
    sayTitle(ProxyDialogTitleId);
    say(text(ProxyNoticeId));
    blankLine();
    say(keyHint(ConsoleNextKeyId, OkLabelId));
    std::string answer;
    ask(&answer);
}

Move showPage(Wizard& wizard) {
    const DialogPageConfig& page = wizard.page(wizard.currentPage());
    const ResourceID_C& title = page.titleId;
    if (title == LicenseTitleId)
        return licensePage(page);
    if (title == SetupTypeTitleId)
        return setupTypePage(wizard, page);
    if (title == ComponentsTitleId)
        return componentsPage(wizard, page);
    if (title == KernelRebuildTitleId)
        return kernelRebuildPage(page);
    if (title == ReviewTitleId)
        return reviewPage(wizard, page);
    if (title == RunTitleId)
        return runPage(page);
    if (title == FinishTitleId)
        return finishPage(wizard, page);
    return welcomePage(page);
}

// What walkPages returns for Back on the first page after the maintenance page.
const int BackToMaintenance = -1;

// The pages from the first to Finish, by the rules of the window's buttons.
int walkPages(Wizard& wizard) {
    bool installed = false;  // the install ran or was tried
    for (;;) {
        Move move = showPage(wizard);
        if (move == Move::Cancel)
            return ExitCancelled;
        if (move == Move::End)
            return installed ? wizard.exitStatus() : ExitCancelled;
        if (move == Move::Leave)
            return wizard.exitStatus();
        if (move == Move::Back) {
            if (!wizard.back() && wizard.maintaining())
                return BackToMaintenance;
            continue;
        }
        if (!wizard.next()) {
            postInstallNotice(wizard);
            return wizard.exitStatus();
        }
        if (wizard.onPage(RunTitleId)) {
            installed = true;
            // A Ctrl-C during the install: it went on to its end, whose result is shown
            // before the wizard ends.
            if (!enterRunPage(wizard)) {
                blankLine();
                showResult(wizard);
                return wizard.exitStatus();
            }
        }
    }
}

// --maintain: the maintenance page, then the pages of the action chosen.
int walkMaintenance(Wizard& wizard) {
    const InstalledState& state = runInstalledState(wizard.run());
    const bool removeDriver = removesDriver(wizard.run());
    Action chosen = Action::Repair;
    for (;;) {
        Move move = maintenancePage(&chosen);
        if (move == Move::Cancel || move == Move::End)
            return ExitCancelled;
        setInstallAction(wizard.run(), chosen, removeDriver);
        // A modify starts from the installed choices, as a repair would use them.
        std::string note;
        Selection installed = maintenanceSelection(
            chosen == Action::Modify ? Action::Repair : chosen, Choices(), state, &note);
        if (!note.empty())
            say(note);
        wizard.beginMaintenance(chosen, installed);
        int status = walkPages(wizard);
        if (status != BackToMaintenance)
            return status;
    }
}

}  // namespace

int runConsoleWizard(InstallRun& run, const Choices& choices, bool maintain) {
    // Every maintenance action needs this version installed.
    if (maintain)
        setInstallAction(run, Action::Repair, removesDriver(run));
    int status = checkStartupPreconditions(run);
    if (status != 0)
        return status;
    catchInterrupts();
    Wizard wizard(run);
    wizard.start(probeHost(), readPageRules());
    Choices given = choices;
    std::string kept;
    if (!maintain && upgradeChoices(&given, &kept))
        say(kept);
    // What the medium does not allow is the user's to see on the pages.
    wizard.applyChoices(given);
    wizard.notePreselection(given, kept);
    createStartMarker(run);
    status = maintain ? walkMaintenance(wizard) : walkPages(wizard);
    removeStartMarker(run);
    stringUnInit();
    return status;
}
