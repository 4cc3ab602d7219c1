#include "tests/wizard/wizard_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "interface/gui.h"
#include "interface/main_window.h"
#include "interface/navigation.h"
#include "resdb/language_db.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "tests/support/files.h"
#include "wizard/startup.h"
#include "wizard/wizard.h"

WizardFixture::WizardFixture() = default;

WizardFixture::~WizardFixture() {
    std::vector<GtkWidget*> pages;
    for (int i = 0; window_ && pageWidget(window_, i); ++i) pages.push_back(pageWidget(window_, i));
    if (window_)
        gtk_widget_destroy(window_);
    for (GtkWidget* page : pages) g_object_unref(page);
    stringUnInit();
}

GtkWidget* WizardFixture::start(const WizardOptions& options) {
    const std::string& dir = dir_.path();
    LanguageDB_C db;
    EXPECT_TRUE(db.Load(WIZARD_TEXTS_DB)) << WIZARD_TEXTS_DB;
    Language_C english;
    if (options.autoSelect)
        db.AddString(english, 5002, options.autoSelect);
    if (options.showLicense)
        db.AddString(english, 5003, options.showLicense);
    if (options.snmpUnderTypical)
        db.AddString(english, 5004, options.snmpUnderTypical);
    EXPECT_TRUE(db.Store((dir + "/setupresDB").c_str()));
    db.Unload();
    writeFile(dir + "/license.txt", "Demo license.\n");
    writeFile(dir + "/.rpmmacros", "%_dbpath " + dir + "/rpmdb\n");
    home_.emplace("HOME", dir);
    cwd_.emplace(dir);

    resetPackageCaches();
    EXPECT_EQ(stringInit(), 1);
    window_ = buildWizard(probeHost());
    gtk_widget_show(window_);
    return window_;
}

GtkWidget* WizardFixture::widget(const char* name) const {
    return lookupWidget(window_, name);
}

std::string WizardFixture::currentPage() const {
    auto* page = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window_), "current_main_area"));
    return page ? gtk_widget_get_name(page) : "";
}

std::vector<std::string> WizardFixture::pageNames() const {
    std::vector<std::string> names;
    for (int i = 0; pageWidget(window_, i); ++i)
        names.push_back(gtk_widget_get_name(pageWidget(window_, i)));
    return names;
}

const Wizard& WizardFixture::state() const {
    return wizardOf(window_);
}

std::string WizardFixture::labelText(const char* name) const {
    GtkWidget* label = widget(name);
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "<no widget>";
}

std::string WizardFixture::viewText(const char* name) const {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget(name)));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string result = text;
    g_free(text);
    return result;
}

bool WizardFixture::sensitive(const char* name) const {
    return gtk_widget_get_sensitive(widget(name));
}

bool WizardFixture::active(const char* name) const {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget(name)));
}

void WizardFixture::click(const char* name) {
    GtkWidget* button = widget(name);
    ASSERT_NE(button, nullptr) << name;
    gtk_button_clicked(GTK_BUTTON(button));
}

void WizardFixture::toggle(const char* name, bool active) {
    GtkWidget* button = widget(name);
    ASSERT_NE(button, nullptr) << name;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), active);
}

std::string WizardFixture::uiText(unsigned id) {
    gchar* text = localeToUtf8(getString(id));
    std::string result = text;
    g_free(text);
    return result;
}

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    gint64 end = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    while (!done() && g_get_monotonic_time() < end) {
        if (!gtk_events_pending())
            g_usleep(2000);
        gtk_main_iteration_do(FALSE);
    }
    return done();
}

namespace {
struct PendingClick {
    std::string window;
    std::string button;
};

gboolean clickIfShown(gpointer data) {
    auto* click = static_cast<PendingClick*>(data);
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w; w = w->next)
        if (gtk_widget_get_visible(GTK_WIDGET(w->data)) &&
            click->window == gtk_widget_get_name(GTK_WIDGET(w->data)))
            found = lookupWidget(GTK_WIDGET(w->data), click->button.c_str());
    g_list_free(windows);
    if (!found)
        return G_SOURCE_CONTINUE;
    gtk_button_clicked(GTK_BUTTON(found));
    delete click;
    return G_SOURCE_REMOVE;
}
}  // namespace

void clickWhenShown(const char* windowName, const char* buttonName) {
    g_timeout_add(20, clickIfShown, new PendingClick{windowName, buttonName});
}
