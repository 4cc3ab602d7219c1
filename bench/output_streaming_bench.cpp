// Streams a large install output through the real run page and reports how the
// window keeps up: the longest pause of the main loop while output pours in, how
// soon after the child's end everything is on screen, and the memory it took. Run on
// a display, e.g.
//   tests/run-with-xvfb.sh build/bench/output_streaming_bench [lines]
//   tests/run-with-xvfb.sh build/bench/output_streaming_bench flood [megabytes]
//   tests/run-with-xvfb.sh build/bench/output_streaming_bench longline [megabytes]
// flood prints that many megabytes of short lines, longline that many megabytes
// without a newline. STAGE3_BENCH_PAUSES=1 lists every pause over 30 ms.
#include <gtk/gtk.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "interface/install_run.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "interface/pages.h"
#include "wizard/install_script.h"
#include "wizard/install_session.h"

namespace {

gint64 lastTick = 0;
gint64 longestPause = 0;
gint64 benchStart = 0;

gboolean measurePause(gpointer) {
    gint64 now = g_get_monotonic_time();
    if (lastTick && now - lastTick > longestPause)
        longestPause = now - lastTick;
    if (getenv("STAGE3_BENCH_PAUSES") && lastTick && now - lastTick > 30000)
        fprintf(stderr, "pause %.1f ms at %.3f s\n", (now - lastTick) / 1000.0,
                (now - benchStart) / 1e6);
    lastTick = now;
    return G_SOURCE_CONTINUE;
}

// A script printing `lines` lines: every 10th longer than a piece, every 7th coloured.
std::string writeScript(const std::string& dir, int lines) {
    std::string path = dir + "/bench.sh";
    std::ofstream script(path);
    script << "i=0\n"
           << "long=$(printf '%0300d' 0)\n"
           << "while [ $i -lt " << lines << " ]; do\n"
           << "  case $((i % 10)) in 0) echo \"line $i $long\";; *) "
           << "if [ $((i % 7)) -eq 0 ]; then printf '\\033[1;32mline %d ok\\033[0m\\n' $i; "
           << "else echo \"line $i: installing component files into place\"; fi;; esac\n"
           << "  i=$((i + 1))\n"
           << "done\n"
           << "date +%s%N > " << dir << "/ended\n";
    return path;
}

// Prints `megabytes` MB of 60-byte lines, or of one line without a newline.
std::string writeFloodScript(const std::string& dir, int megabytes, bool oneLine) {
    std::string path = dir + "/bench.sh";
    std::ofstream script(path);
    if (oneLine)
        script << "head -c " << megabytes << "000000 /dev/zero | tr '\\0' x\n";
    else
        script << "yes 'line: installing component files into their place now' | head -c "
               << megabytes << "000000\n";
    script << "date +%s%N > " << dir << "/ended\n";
    return path;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("NO_AT_BRIDGE", "1", 1);
    gtk_init(&argc, &argv);
    std::string mode = argc > 1 ? argv[1] : "20000";
    bool flood = mode == "flood" || mode == "longline";
    int lines = flood ? 0 : atoi(mode.c_str());
    int megabytes = flood && argc > 2 ? atoi(argv[2]) : 150;

    char dirTemplate[] = "/tmp/stage3-bench-XXXXXX";
    std::string dir = mkdtemp(dirTemplate);
    std::string script =
        flood ? writeFloodScript(dir, megabytes, mode == "longline") : writeScript(dir, lines);

    GtkWidget* window = createMainWindow();
    GtkWidget* runPage = createRunMainArea(window);
    gtk_box_pack_start(GTK_BOX(lookupWidget(window, "vbox1")), runPage, TRUE, TRUE, 0);
    gtk_widget_show(window);
    while (gtk_events_pending()) gtk_main_iteration();

    GtkWidget* next = lookupWidget(window, "dialog_next_button");
    RunFiles& files = wizardOf(next).run().files;
    snprintf(files.scriptName, sizeof files.scriptName, "%s", script.c_str());
    long idleKb = residentKb();
    g_timeout_add(5, measurePause, nullptr);
    gint64 started = g_get_real_time();
    if (!runInstallScript(next)) {
        fprintf(stderr, "the script could not be started\n");
        return 1;
    }
    lastTick = g_get_monotonic_time();
    benchStart = lastTick;
    while (!gtk_widget_get_sensitive(next)) gtk_main_iteration();
    gint64 shown = g_get_real_time();

    std::ifstream endedFile(dir + "/ended");
    long long endedNs = 0;
    endedFile >> endedNs;
    GtkTextBuffer* buffer =
        gtk_text_view_get_buffer(GTK_TEXT_VIEW(lookupWidget(window, "run_term")));
    int shownLines = gtk_text_buffer_get_line_count(buffer) - 1;

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    double total = (shown - started) / 1e6;
    printf("resident memory:            %ld MB idle, %ld MB at the peak (+%ld MB)\n", idleKb / 1024,
           usage.ru_maxrss / 1024, (usage.ru_maxrss - idleKb) / 1024);
    if (flood) {
        printf("output:                     %d MB %s (%d view lines kept)\n", megabytes,
               mode == "longline" ? "without a newline" : "of lines", shownLines);
        printf("child start to all shown:   %.3f s\n", total);
        printf("longest main loop pause:    %.1f ms\n", longestPause / 1000.0);
        system(("rm -rf '" + dir + "'").c_str());
        return 0;
    }
    double afterEnd = (shown - endedNs / 1000) / 1e6;
    long pieces = lines + (lines + 9) / 10;  // the long lines arrive in two pieces
    printf("lines printed:              %d (%d shown)\n", lines, shownLines);
    printf("child start to all shown:   %.3f s\n", total);
    printf("child end to all shown:     %.3f s\n", afterEnd);
    printf("longest main loop pause:    %.1f ms\n", longestPause / 1000.0);
    printf("one piece per 100 ms tick:  %.0f s for the same output\n", pieces / 10.0);
    system(("rm -rf '" + dir + "'").c_str());
    return shownLines <= lines ? 0 : 1;
}
