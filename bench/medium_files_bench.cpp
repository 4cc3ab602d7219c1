// Times what the wizard does with the largest support files it takes and with
// hostile ones, and how much memory each step takes at its peak. Run on a
// display, e.g.
//   tests/run-with-xvfb.sh build/bench/medium_files_bench
// The files are made in a temporary working directory, where the wizard finds
// them.
#include <gtk/gtk.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "interface/main_window.h"
#include "interface/pages.h"
#include "resdb/language_db.h"
#include "services/string_service.h"

namespace {

long peakKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Runs one step and prints its wall time and how far the peak resident
// memory rose above the memory held before it.
void measure(const char* what, const std::function<void()>& step) {
    // Freed memory goes back to the system, and the peak starts again from here.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    long before = peakKb();
    gint64 start = g_get_monotonic_time();
    step();
    while (gtk_events_pending()) gtk_main_iteration();
    std::printf("%-52s %9.1f ms %9ld kB\n", what, (g_get_monotonic_time() - start) / 1000.0,
                peakKb() - before);
}

void write(const char* name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

// About the largest picture taken within the 4 MiB file limit: 1024 x 1000
// pixels in 65536 colours of 3 characters each.
std::string largestPicture() {
    const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@#";
    auto key = [&](int i) {
        return std::string{digits[i / 4096], digits[(i / 64) % 64], digits[i % 64]};
    };
    std::string text = "/* XPM */\nstatic char* p[] = {\n\"1024 1000 65536 3\",\n";
    char line[64];
    for (int i = 0; i < 65536; ++i) {
        std::snprintf(line, sizeof line, "\"%s c #%06X\",\n", key(i).c_str(), i * 255);
        text += line;
    }
    for (int y = 0; y < 1000; ++y) {
        text += '"';
        for (int x = 0; x < 1024; ++x) text += key((y * 1024 + x) % 65536);
        text += "\",\n";
    }
    return text + "};\n";
}

}  // namespace

int main(int argc, char** argv) {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    setenv("LANG", "en_US.UTF-8", 1);
    gtk_init(&argc, &argv);
    gchar* dir = g_dir_make_tmp("stage3-bench-XXXXXX", nullptr);
    if (!dir || chdir(dir) != 0)
        return 1;
    {
        LanguageDB_C db;
        std::string title;
        for (int i = 0; title.size() < 20 * 1024 * 1024; ++i)
            title += "Setup " + std::to_string(i) + " ";
        db.AddString(Language_C(), 1000, title);
        if (!db.Store("setupresDB") || !stringInit())
            return 1;
    }
    std::printf("%-52s %12s %12s\n", "step", "time", "peak rise");
    GtkWidget* window = nullptr;
    measure("main window, 20 MB title", [&] { window = createMainWindow(); });

    write("wizard.xpm", largestPicture());
    measure("wizard.xpm, 1024 x 1000 in 65536 colours (4 MiB)", [&] {
        GtkWidget* image = createPixmap(nullptr, "wizard.xpm");
        GdkPixbuf* pixbuf = gtk_image_get_pixbuf(GTK_IMAGE(image));
        if (!pixbuf || gdk_pixbuf_get_width(pixbuf) != 1024)
            std::printf("  (picture refused)\n");
        gtk_widget_destroy(image);
    });
    write("wizard.xpm",
          "/* XPM */\nstatic char* p[] = {\n\"40000 40000 2 1\",\n\"a c red\",\n"
          "\"b c None\",\n\"" +
              std::string(40000, 'a') + "\"};\n");
    measure("wizard.xpm, header of 40000 x 40000",
            [&] { gtk_widget_destroy(createPixmap(nullptr, "wizard.xpm")); });

    std::string line = "Each line of this license says the same thing.\n";
    std::string license;
    while (license.size() < 2 * 1024 * 1024) license += line;
    write("license.txt", license);
    if (truncate("license.txt", 4LL << 30) != 0)
        return 1;
    measure("license page, 4 GiB sparse license.txt", [&] {
        GtkWidget* page = createLicenseMainArea(window);
        gtk_widget_destroy(page);
        g_object_unref(page);
    });

    write("stage3.css", "@import url(\"file:///dev/zero\");\n");
    measure("stage3.css importing /dev/zero", [] { readRcFile(); });

    gtk_widget_destroy(window);
    stringUnInit();
    if (chdir("/") == 0)
        std::filesystem::remove_all(dir);
    g_free(dir);
    return 0;
}
