#include "wizard/install_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include <glib-unix.h>

#include "interface/dialogs.h"
#include "interface/main_window.h"
#include "services/string_service.h"
#include "wizard/install_script.h"
#include "wizard/output_reader.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"

namespace {

// The one install run of the process.
struct InstallRun {
    int fd = -1;                  // read end of the pipe from the child
    GtkWidget* nextButton = nullptr;
    guint watchId = 0;            // output watch
    GPid pid = 0;
    bool exited = false;
    int waitStatus = 0;
    OutputReader reader;
};

InstallRun update;

const size_t ReadChunk = 64 * 1024;
// Output taken in per turn of the main loop: the window lays out and draws what it got
// before it takes more, so it stays responsive however fast the script writes.
const size_t OutputPerCall = 16 * 1024;
const int OutputPriority = GDK_PRIORITY_REDRAW + 10;

GtkWidget* mainWindowOf(GtkWidget* widget) { return gtk_widget_get_toplevel(widget); }

GtkWidget* outputView() { return lookupWidget(update.nextButton, "run_term"); }

// What is read once the script has ended: all it left in the pipe, but no more than
// this from a process of its own that keeps writing after the script ended.
const size_t AfterExitLimit = 1024 * 1024;

// Why the install did not start, when it did not: a text for the finish page.
int notStartedNoteId = 0;

void show(const std::string& text) {
    if (!text.empty()) appendOutput(outputView(), text.c_str());
}

void stopReading() {
    if (update.watchId) {
        g_source_remove(update.watchId);
        update.watchId = 0;
    }
    if (update.fd >= 0) {
        close(update.fd);
        update.fd = -1;
    }
}

// Reads what is there now. Returns false at the end of the stream or on an error.
bool readAvailable(size_t limit) {
    char buffer[ReadChunk];
    size_t total = 0;
    while (total < limit) {
        size_t wanted = limit - total < sizeof buffer ? limit - total : sizeof buffer;
        ssize_t n = read(update.fd, buffer, wanted);
        if (n > 0) {
            total += n;
            show(update.reader.feed(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        show(update.reader.finish());
        return false;
    }
    return true;
}

void endOfOutput() {
    stopReading();
    show(update.reader.finish());

    // Only this run's own script can have written its error file.
    bool scriptFailed = installErrorRecorded();
    bool succeeded = WIFEXITED(update.waitStatus) && WEXITSTATUS(update.waitStatus) == 0 &&
                     !scriptFailed;
    InstalledOK = succeeded ? 1 : 0;
    gtk_widget_set_sensitive(update.nextButton, TRUE);
    gtk_widget_grab_focus(update.nextButton);
    removeInstallFiles();
    GObject* window = G_OBJECT(mainWindowOf(update.nextButton));
    g_object_set_data(window, "child_running", nullptr);
    // The user asked to leave while the install ran: now that it is over, leave.
    if (g_object_get_data(window, "exit_on_child_died")) gtk_main_quit();
}

gboolean onOutputReady(gint, GIOCondition, gpointer data) {
    updateTextWindow(data);
    return update.fd >= 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void onChildExited(GPid pid, gint status, gpointer) {
    g_spawn_close_pid(pid);
    update.exited = true;
    update.waitStatus = status;
    // Everything the script wrote is in the pipe now.
    if (update.fd >= 0) readAvailable(AfterExitLimit);
    endOfOutput();
}

// Starts "/bin/sh script 2>&1" with its output on a pipe. Returns false when it cannot.
bool startChild() {
    char command[256];
    int length = snprintf(command, sizeof command, "/bin/sh \"%s\" 2>&1", scriptName);
    if (length < 0 || length >= static_cast<int>(sizeof command)) return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    fflush(nullptr);
    stringUnInit();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
        _exit(127);
    }
    stringInit();
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    update.fd = fds[0];
    update.pid = pid;
    return true;
}

}  // namespace

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
    if (g_object_get_data(G_OBJECT(view), ScrolledAwayKey) || isAtBottom(adjustment)) return;
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
    if (lines <= KeptOutputLines + DropStep) return;
    bool noted = g_object_get_data(G_OBJECT(view), LinesDroppedKey) != nullptr;
    GtkTextIter from, to;
    gtk_text_buffer_get_iter_at_line(buffer, &from, noted ? 1 : 0);
    gtk_text_buffer_get_iter_at_line(buffer, &to, lines - KeptOutputLines);
    gtk_text_buffer_delete(buffer, &from, &to);
    if (noted) return;
    gchar* note = localeToUtf8(getString(OutputLinesDroppedId));
    gtk_text_buffer_get_start_iter(buffer, &from);
    gtk_text_buffer_insert(buffer, &from, note, -1);
    gtk_text_buffer_insert(buffer, &from, "\n", 1);
    g_free(note);
    g_object_set_data(G_OBJECT(view), LinesDroppedKey, GINT_TO_POINTER(1));
}

// Lines the reader had to break (a line without a newline that went on and on) are
// wrapped at any character: wrapping between words costs time that grows with the
// square of the length of a run without blanks.
void wrapBrokenLinesAnywhere(GtkTextBuffer* buffer, int fromLine) {
    GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer), "broken_line");
    if (!tag) tag = gtk_text_buffer_create_tag(buffer, "broken_line", "wrap-mode", GTK_WRAP_CHAR, nullptr);
    int lines = gtk_text_buffer_get_line_count(buffer);
    for (int line = fromLine; line < lines; ++line) {
        GtkTextIter start;
        gtk_text_buffer_get_iter_at_line(buffer, &start, line);
        if (static_cast<size_t>(gtk_text_iter_get_bytes_in_line(&start)) < OutputReader::ViewLineLimit)
            continue;
        GtkTextIter end = start;
        gtk_text_iter_forward_to_line_end(&end);
        gtk_text_buffer_apply_tag(buffer, tag, &start, &end);
    }
}

void watchUserScrolling(GtkWidget* view) {
    if (g_object_get_data(G_OBJECT(view), "output_scroll_watched")) return;
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
    if (!view) return;
    watchUserScrolling(view);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    int firstLine = gtk_text_buffer_get_line_count(buffer) - 1;
    appendTextView(view, text);
    wrapBrokenLinesAnywhere(buffer, firstLine);
    keepNewestLines(view);
    if (!g_object_get_data(G_OBJECT(view), ScrolledAwayKey)) scrollToEnd(view);
}

void startInstall(GtkWidget* nextButton) {
    InstallFiles files = writeInstallFiles();
    if (files != InstallFiles::Ready) {
        removeInstallFiles();
        if (files == InstallFiles::Failed) {
            InstalledOK = 0;
            notStartedNoteId = InstallFilesUnsafeId;
            std::string note = std::string(getString(InstallFilesUnsafeId)) + "\n";
            appendOutput(lookupWidget(nextButton, "run_term"), note.c_str());
        }
        return;
    }
    runInstallScript(nextButton);
}

int installNotStartedNoteId() { return notStartedNoteId; }

bool runInstallScript(GtkWidget* nextButton) {
    gtk_widget_set_sensitive(nextButton, FALSE);
    GtkWidget* window = mainWindowOf(nextButton);
    g_object_set_data(G_OBJECT(window), "child_running", lookupWidget(window, "run_term"));
    update.nextButton = nextButton;
    if (!startChild()) {
        g_object_set_data(G_OBJECT(window), "child_running", nullptr);
        gtk_widget_set_sensitive(nextButton, TRUE);
        removeInstallFiles();
        InstalledOK = 0;
        return false;
    }
    // Below the window's own layout and drawing, so that new output never keeps the
    // window from catching up with what it already holds.
    update.watchId = g_unix_fd_add_full(OutputPriority, update.fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                        onOutputReady, &update, nullptr);
    g_child_watch_add(update.pid, onChildExited, nullptr);
    return true;
}

gint updateTextWindow(gpointer) {
    if (update.fd < 0) return TRUE;
    if (!readAvailable(OutputPerCall)) stopReading();
    return TRUE;
}

void postInstallMessage() {
    if (!(ComponentsSelected & COMPONENT_WEB_SERVER)) return;
    GtkWidget* dialog = createProxyIssueDialog();
    gtk_widget_show(dialog);
    gtk_main();
    gtk_widget_destroy(dialog);
}
