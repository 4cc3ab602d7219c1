#include "interface/gui.h"

#include "interface/exit_paths.h"
#include "interface/main_window.h"
#include "interface/maintenance_dialog.h"
#include "interface/navigation.h"
#include "interface/window_size.h"
#include "services/string_service.h"
#include "wizard/command_line.h"
#include "wizard/maintenance.h"
#include "wizard/startup.h"
#include "wizard/transaction.h"
#include "wizard/wizard.h"

namespace {

// The theme draws the marks of check and radio buttons from SVG pictures, which GTK
// loads (and the SVG loader with its libraries) when it first styles such a button.
// Measuring every page for the window's size styles them all, though the first page
// has none: until the first frame is on the screen they are styled without a mark
// (their size is the theme's either way), and the marks come in right after it.
// Below the medium's style, which may draw marks of its own.
const char NoMarksYet[] = "check, radio { -gtk-icon-source: none; }\n";

gboolean bringMarksIn(gpointer provider) {
    if (GdkScreen* screen = gdk_screen_get_default())
        gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider));
    g_object_unref(provider);
    return G_SOURCE_REMOVE;
}

// Once the window's first frame is painted, the marks come in at the next idle moment.
void afterFirstFrame(GdkFrameClock* clock, gpointer provider) {
    g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(afterFirstFrame),
                                         provider);
    g_idle_add(bringMarksIn, provider);
}

// Once the first page is on the screen, what the later pages need of the driver package
// (its file list, read with rpm) is read.
gboolean settleDriverWhenIdle(gpointer window) {
    settleDriverPages(GTK_WIDGET(window));
    return G_SOURCE_REMOVE;
}

gboolean onFirstMap(GtkWidget* window, GdkEvent*, gpointer) {
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, settleDriverWhenIdle, g_object_ref(window),
                    g_object_unref);
    g_signal_handlers_disconnect_by_func(window, reinterpret_cast<gpointer>(onFirstMap), nullptr);
    return FALSE;
}

}  // namespace

GtkCssProvider* leaveCheckMarksOut() {
    GdkScreen* screen = gdk_screen_get_default();
    if (!screen)
        return nullptr;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, NoMarksYet, -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION - 1);
    return provider;
}

void bringCheckMarksInAfterFirstFrame(GtkWidget* window, GtkCssProvider* provider) {
    if (!provider)
        return;
    GdkFrameClock* clock = gtk_widget_get_frame_clock(window);
    if (!clock) {
        bringMarksIn(provider);
        return;
    }
    g_signal_connect(clock, "after-paint", G_CALLBACK(afterFirstFrame), provider);
}

GtkWidget* buildWizard(const HostFacts& host, const Choices& choices, InstallRun* run,
                       const std::string& recordNote, bool lookAtDriver) {
    readRcFile();
    GtkWidget* window = createMainWindow(run);
    wizardOf(window).start(host, readPageRules(lookAtDriver));
    if (!lookAtDriver)
        g_signal_connect(window, "map-event", G_CALLBACK(onFirstMap), nullptr);
    wizardOf(window).applyChoices(choices);
    wizardOf(window).notePreselection(choices, recordNote);
    buildPages(window);
    showCurrentPage(window);
    showComponents(window);
    fitWindowToPages(window);
    return window;
}

int runGraphicalWizard(InstallRun& run, const Choices& choices, bool maintain) {
    Action chosen = Action::Repair;
    if (maintain && !askMaintenanceAction(&chosen))
        return ExitCancelled;
    GtkCssProvider* marksLeftOut = leaveCheckMarksOut();
    // An upgrade keeps the choices the older version was installed with; otherwise those
    // given are taken, as the console wizard takes them.
    Choices given = maintain ? Choices() : choices;
    std::string note;
    if (!maintain)
        upgradeChoices(&given, &note);
    // A maintenance run may start on a later page: it knows the driver's pages at once.
    GtkWidget* window = buildWizard(probeHost(), given, &run, note, maintain);
    if (maintain) {
        setInstallAction(run, chosen, removesDriver(run));
        // A modify starts from the installed choices, as a repair would use them.
        std::string note;
        const Selection installed =
            maintenanceSelection(chosen == Action::Modify ? Action::Repair : chosen, Choices(),
                                 runInstalledState(run), &note);
        wizardOf(window).beginMaintenance(chosen, installed);
        showCurrentPage(window);
        showComponents(window);
    }
    // Kept past the window: the exit status is the install's outcome.
    g_object_ref(window);
    gtk_widget_show(window);
    bringCheckMarksInAfterFirstFrame(window, marksLeftOut);
    createStartMarker(run);
    gtk_main();
    stringUnInit();
    removeStartMarker(run);
    int status = wizardCancelled(window) ? ExitCancelled : wizardOf(window).exitStatus();
    g_object_unref(window);
    return status;
}
