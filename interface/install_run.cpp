#include "interface/install_run.h"

#include <string>

#include "interface/dialogs.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "services/glib_memory.h"
#include "services/string_service.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/output_reader.h"
#include "wizard/progress.h"
#include "wizard/run_result.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/wizard.h"

namespace {

// The output view follows the newest line until the user scrolls away from the
// bottom, and again once the user scrolls back there. Only the user's own scrolling
// decides: the view's layout moves the scroll position on its own while it catches up.
const char* const ScrolledAwayKey = "output_scrolled_away";

// Asks the view to show its last line at the bottom. The view first lays out the lines
// around it, so it never has to draw a screenful of lines it has not measured yet.
void scrollToEnd(GtkWidget* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    GtkTextMark* mark = gtk_text_buffer_get_mark(buffer, "output_end");
    if (!mark)
        mark = gtk_text_buffer_create_mark(buffer, "output_end", &end, FALSE);
    else
        gtk_text_buffer_move_mark(buffer, mark, &end);
    gtk_text_view_scroll_to_mark(GTK_TEXT_VIEW(view), mark, 0.0, TRUE, 0.0, 1.0);
}

bool isAtBottom(GtkAdjustment* adjustment) {
    return gtk_adjustment_get_value(adjustment) + gtk_adjustment_get_page_size(adjustment) >=
           gtk_adjustment_get_upper(adjustment) - 1.0;
}

gboolean recordUserScrollPosition(gpointer data) {
    auto* view = static_cast<GtkWidget*>(data);
    bool atBottom = isAtBottom(gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(view)));
    g_object_set_data(G_OBJECT(view), ScrolledAwayKey, GINT_TO_POINTER(!atBottom));
    g_object_unref(view);
    return G_SOURCE_REMOVE;
}

gboolean onUserScrolled(GtkWidget*, GdkEvent*, gpointer view) {
    // The position is read once the event has moved the view.
    g_idle_add(recordUserScrollPosition, g_object_ref(view));
    return FALSE;
}

void keepAtBottom(GtkAdjustment* adjustment, gpointer view) {
    if (g_object_get_data(G_OBJECT(view), ScrolledAwayKey) || isAtBottom(adjustment))
        return;
    gtk_adjustment_set_value(adjustment, gtk_adjustment_get_upper(adjustment) -
                                             gtk_adjustment_get_page_size(adjustment));
}

// The view keeps the newest lines of the output, so that its memory and layout stay
// bounded whatever the install prints; its first line then says that earlier lines were
// dropped. Lines go in steps, not one delete per new line.
const int KeptOutputLines = 10000;
const int DropStep = 500;
const char* const LinesDroppedKey = "output_lines_dropped";

void keepNewestLines(GtkWidget* view) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    int lines = gtk_text_buffer_get_line_count(buffer);
    if (lines <= KeptOutputLines + DropStep)
        return;
    bool noted = g_object_get_data(G_OBJECT(view), LinesDroppedKey) != nullptr;
    GtkTextIter from, to;
    gtk_text_buffer_get_iter_at_line(buffer, &from, noted ? 1 : 0);
    gtk_text_buffer_get_iter_at_line(buffer, &to, lines - KeptOutputLines);
    gtk_text_buffer_delete(buffer, &from, &to);
    if (noted)
        return;
    GCharPtr note(localeToUtf8(getString(OutputLinesDroppedId)));
    gtk_text_buffer_get_start_iter(buffer, &from);
    gtk_text_buffer_insert(buffer, &from, note.get(), -1);
    gtk_text_buffer_insert(buffer, &from, "\n", 1);
    g_object_set_data(G_OBJECT(view), LinesDroppedKey, GINT_TO_POINTER(1));
}

// Lines the reader had to break (a line without a newline that went on and on) are
// wrapped at any character: wrapping between words costs time that grows with the
// square of the length of a run without blanks.
void wrapBrokenLinesAnywhere(GtkTextBuffer* buffer, int fromLine) {
    GtkTextTag* tag =
        gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer), "broken_line");
    if (!tag)
        tag =
            gtk_text_buffer_create_tag(buffer, "broken_line", "wrap-mode", GTK_WRAP_CHAR, nullptr);
    int lines = gtk_text_buffer_get_line_count(buffer);
    for (int line = fromLine; line < lines; ++line) {
        GtkTextIter start;
        gtk_text_buffer_get_iter_at_line(buffer, &start, line);
        if (static_cast<size_t>(gtk_text_iter_get_bytes_in_line(&start)) <
            OutputReader::ViewLineLimit)
            continue;
        GtkTextIter end = start;
        gtk_text_iter_forward_to_line_end(&end);
        gtk_text_buffer_apply_tag(buffer, tag, &start, &end);
    }
}

void watchUserScrolling(GtkWidget* view) {
    if (g_object_get_data(G_OBJECT(view), "output_scroll_watched"))
        return;
    g_object_set_data(G_OBJECT(view), "output_scroll_watched", GINT_TO_POINTER(1));
    // The view grows as its layout catches up with new text; each growth is followed.
    g_signal_connect(gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(view)), "changed",
                     G_CALLBACK(keepAtBottom), view);
    g_signal_connect_after(view, "scroll-event", G_CALLBACK(onUserScrolled), view);
    g_signal_connect_after(view, "key-release-event", G_CALLBACK(onUserScrolled), view);
    if (GtkWidget* scrollbar = lookupWidget(view, "run_vscrollbar")) {
        g_signal_connect_after(scrollbar, "button-release-event", G_CALLBACK(onUserScrolled), view);
        g_signal_connect_after(scrollbar, "scroll-event", G_CALLBACK(onUserScrolled), view);
    }
}

}  // namespace

void appendOutput(GtkWidget* view, const char* text) {
    if (!view)
        return;
    watchUserScrolling(view);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    int firstLine = gtk_text_buffer_get_line_count(buffer) - 1;
    appendTextView(view, text);
    wrapBrokenLinesAnywhere(buffer, firstLine);
    keepNewestLines(view);
    if (!g_object_get_data(G_OBJECT(view), ScrolledAwayKey))
        scrollToEnd(view);
}

namespace {

void showInRunPage(GtkWidget* nextButton, const std::string& text) {
    appendOutput(lookupWidget(nextButton, "run_term"), text.c_str());
}

// The progress bar of the run page ("run_progress") follows the install's progress lines.
// A timer shows it, not each line: rpm writes a line for every few kilobytes it unpacks.
// The bar pulses while the install prints nothing at all for a while (a scriptlet at
// work). While output comes the view shows that the install is alive; and GTK animates a
// pulsing bar on every frame, which would keep the window drawing and the output, read
// only when the window has nothing left to draw, waiting.
struct RunProgress {
    InstallProgress tracker;
    GtkWidget* bar = nullptr;  // cleared when the bar is destroyed
    guint timer = 0;
    bool pulsing = false;
    gint64 lastOutput = 0;
    bool checking = false;  // the checks before the first package show their own progress
};

const guint ProgressTickMs = 100;

void stopProgress(RunProgress& run);

// The progress of the install run of the window of `anyWidget`, which holds it.
RunProgress& progressOf(GtkWidget* anyWidget) {
    GObject* window = G_OBJECT(gtk_widget_get_toplevel(anyWidget));
    auto* run = static_cast<RunProgress*>(g_object_get_data(window, "run_progress_state"));
    if (!run) {
        run = new RunProgress;
        g_object_set_data_full(window, "run_progress_state", run, [](gpointer data) {
            auto* gone = static_cast<RunProgress*>(data);
            stopProgress(*gone);
            delete gone;
        });
    }
    return *run;
}

void showProgress(RunProgress& run) {
    if (!run.bar)
        return;
    if (run.checking)
        return;
    GtkProgressBar* bar = GTK_PROGRESS_BAR(run.bar);
    gint64 now = g_get_monotonic_time();
    if (run.tracker.waiting(now) && now - run.lastOutput >= InstallProgress::WaitAfter) {
        gtk_progress_bar_pulse(bar);
        run.pulsing = true;
    } else if (run.pulsing || gtk_progress_bar_get_fraction(bar) != run.tracker.fraction()) {
        // Setting the fraction also ends the pulsing.
        gtk_progress_bar_set_fraction(bar, run.tracker.fraction());
        run.pulsing = false;
    }
}

void stopProgress(RunProgress& run) {
    if (run.timer)
        g_source_remove(run.timer);
    run.timer = 0;
    if (run.bar)
        g_object_remove_weak_pointer(G_OBJECT(run.bar), reinterpret_cast<gpointer*>(&run.bar));
    run.bar = nullptr;
}

gboolean onProgressTick(gpointer data) {
    RunProgress& run = *static_cast<RunProgress*>(data);
    if (!run.bar) {
        run.timer = 0;
        return G_SOURCE_REMOVE;
    }
    showProgress(run);
    return G_SOURCE_CONTINUE;
}

void startProgress(GtkWidget* nextButton) {
    RunProgress& run = progressOf(nextButton);
    stopProgress(run);
    run.tracker = InstallProgress(g_get_monotonic_time());
    run.lastOutput = g_get_monotonic_time();
    run.pulsing = true;
    run.bar = lookupWidget(nextButton, "run_progress");
    if (!run.bar)
        return;
    g_object_add_weak_pointer(G_OBJECT(run.bar), reinterpret_cast<gpointer*>(&run.bar));
    showProgress(run);
    run.timer = g_timeout_add(ProgressTickMs, onProgressTick, &run);
}

// The end of the install on the run page: the bar full, or stopped where it was, and the
// page's title and note say how the run ended.
void showInstallEnd(GtkWidget* nextButton) {
    const RunResult& result = wizardOf(nextButton).result();
    RunProgress& run = progressOf(nextButton);
    run.tracker.finish(result.succeeded);
    showProgress(run);
    stopProgress(run);
    setLabelText(lookupWidget(nextButton, "dialog_title"), getString(result.runTitle));
    setLabelText(lookupWidget(nextButton, "run_label"), getString(result.runNote));
}

// An install that could not start ends before the run page is shown: its end is shown
// once the page is.
gboolean showNotStartedEnd(gpointer nextButton) {
    showInstallEnd(static_cast<GtkWidget*>(nextButton));
    return G_SOURCE_REMOVE;
}

// How the run ended, kept by the wizard; `outcome` null when the script never ran.
void finishRun(GtkWidget* nextButton, bool nothingSelected, const InstallOutcome* outcome) {
    Wizard& wizard = wizardOf(nextButton);
    wizard.finishInstall(
        runResult(lastRunFacts(wizard.run(), wizard.selection(), nothingSelected, outcome)));
}

// The checks before the first package on the run page: their note while they run and
// their share done on the bar, drawn before the next check starts.
void showChecks(GtkWidget* nextButton, std::size_t done, std::size_t total) {
    RunProgress& runProgress = progressOf(nextButton);
    if (!runProgress.checking) {
        runProgress.checking = true;
        setLabelText(lookupWidget(nextButton, "run_label"), getString(ChecksRunningId));
    }
    if (runProgress.bar && total)
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(runProgress.bar),
                                      static_cast<double>(done) / static_cast<double>(total));
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// Once the checks passed, the page's note and bar are the install's again.
void endChecks(GtkWidget* nextButton) {
    RunProgress& runProgress = progressOf(nextButton);
    if (!runProgress.checking)
        return;
    runProgress.checking = false;
    setLabelText(lookupWidget(nextButton, "run_label"),
                 getString(actionWords(installAction(wizardOf(nextButton).run())).runNote));
    runProgress.lastOutput = g_get_monotonic_time();
}

// The run page as one observer of the install run: its output goes into the view and its
// progress to the bar; at the end Next is sensitive and focused again, and a wizard the
// user asked to leave while the install ran leaves now.
InstallObserver runPageObserver(GtkWidget* nextButton) {
    startProgress(nextButton);
    InstallObserver observer;
    observer.checking = [nextButton](std::size_t done, std::size_t total) {
        showChecks(nextButton, done, total);
    };
    observer.trustKey = askTrustMediumKey;
    observer.output = [nextButton](const std::string& text) {
        endChecks(nextButton);
        progressOf(nextButton).lastOutput = g_get_monotonic_time();
        showInRunPage(nextButton, text);
    };
    observer.progress = [nextButton](const std::string& line) {
        progressOf(nextButton).tracker.take(line, g_get_monotonic_time());
    };
    observer.ended = [nextButton](const InstallOutcome& outcome) {
        finishRun(nextButton, false, &outcome);
        showInstallEnd(nextButton);
        gtk_widget_set_sensitive(nextButton, TRUE);
        gtk_widget_grab_focus(nextButton);
        GObject* window = G_OBJECT(gtk_widget_get_toplevel(nextButton));
        g_object_set_data(window, "child_running", nullptr);
        if (g_object_get_data(window, "exit_on_child_died"))
            gtk_main_quit();
    };
    return observer;
}

void childRunning(GtkWidget* nextButton, bool running) {
    gtk_widget_set_sensitive(nextButton, !running);
    GtkWidget* window = gtk_widget_get_toplevel(nextButton);
    g_object_set_data(G_OBJECT(window), "child_running",
                      running ? lookupWidget(window, "run_term") : nullptr);
}

// An install was started (or tried) in the window: a mark on the window.
const char* const AttemptedKey = "install_attempted";

}  // namespace

void startInstall(GtkWidget* nextButton) {
    g_object_set_data(G_OBJECT(gtk_widget_get_toplevel(nextButton)), AttemptedKey,
                      GINT_TO_POINTER(1));
    setLabelText(lookupWidget(nextButton, "run_label"),
                 getString(actionWords(installAction(wizardOf(nextButton).run())).runNote));
    childRunning(nextButton, true);
    InstallRun& run = wizardOf(nextButton).run();
    InstallStart start =
        startInstallRun(run, wizardOf(nextButton).selection(), runPageObserver(nextButton));
    endChecks(nextButton);
    if (start == InstallStart::Running)
        return;
    stopProgress(progressOf(nextButton));
    childRunning(nextButton, false);
    finishRun(nextButton, start == InstallStart::NothingSelected, nullptr);
    if (start == InstallStart::NotStarted) {
        showInRunPage(nextButton, std::string(getString(run.notStartedReason)) + "\n");
        g_idle_add(showNotStartedEnd, nextButton);
        // A wizard the user asked to leave while the checks ran leaves now.
        if (g_object_get_data(G_OBJECT(gtk_widget_get_toplevel(nextButton)), "exit_on_child_died"))
            gtk_main_quit();
    }
}

bool installAttempted(GtkWidget* anyWidget) {
    return g_object_get_data(G_OBJECT(gtk_widget_get_toplevel(anyWidget)), AttemptedKey) != nullptr;
}

bool runInstallScript(GtkWidget* nextButton) {
    childRunning(nextButton, true);
    if (runInstallScript(wizardOf(nextButton).run(), runPageObserver(nextButton)))
        return true;
    stopProgress(progressOf(nextButton));
    childRunning(nextButton, false);
    finishRun(nextButton, false, nullptr);
    return false;
}

void postInstallMessage(GtkWidget* mainWindow) {
    if (!wizardOf(mainWindow).result().proxyNotice)
        return;
    GtkWidget* dialog = createProxyIssueDialog();
    gtk_widget_show(dialog);
    gtk_main();
    gtk_widget_destroy(dialog);
}
