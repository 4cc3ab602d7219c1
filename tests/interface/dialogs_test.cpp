// The exit question and the proxy notice.
#include "interface/dialogs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "interface/exit_paths.h"
#include "interface/main_window.h"
#include "services/string_service.h"
#include "test_support.h"
#include "wizard/tables.h"

namespace {

struct DialogShape {
    GtkWidget* (*create)();
    const char* dialog;
    const char* mainVbox;
    const char* hbox;
    const char* label;
    const char* actionArea;
    const char* buttonBox;
    unsigned titleId, messageId;
    std::vector<std::pair<const char*, unsigned>> buttons;  // the last has the focus
};

const DialogShape ExitShape = {createExitDialog,
                               "exit_dialog",
                               "exit_main_vbox",
                               "exit_hbox1",
                               "exit_label",
                               "exit_dialog_action_area",
                               "exit_hbuttonbox1",
                               16,
                               18,
                               {{"exit_yes_button", 19}, {"exit_no_button", 20}}};
const DialogShape ProxyShape = {createProxyIssueDialog,
                                "proxy_dialog",
                                "proxy_main_vbox",
                                "proxy_hbox1",
                                "proxy_label",
                                "proxy_dialog_action_area",
                                "proxy_hbuttonbox1",
                                17,
                                1004,
                                {{"proxy_ok_button", 21}}};

class DialogsTest : public ::testing::TestWithParam<const DialogShape*> {
  protected:
    void SetUp() override { mainWindow = createMainWindow(); }
    void TearDown() override {
        gtk_widget_destroy(mainWindow);
        drainEvents();
    }
    GtkWidget* mainWindow = nullptr;
};

TEST_P(DialogsTest, WidgetsAreRegisteredOnTheDialogOnly) {
    const DialogShape& shape = *GetParam();
    GtkWidget* dialog = shape.create();
    auto find = [&](const char* name) { return lookupWidget(dialog, name); };
    EXPECT_EQ(find(shape.dialog), dialog);
    EXPECT_STREQ(gtk_widget_get_name(dialog), shape.dialog);
    EXPECT_EQ(find(shape.mainVbox), gtk_dialog_get_content_area(GTK_DIALOG(dialog)));
    EXPECT_EQ(gtk_widget_get_parent(find(shape.hbox)), find(shape.mainVbox));
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(find(shape.hbox))), 7u);
    EXPECT_EQ(gtk_widget_get_parent(find(shape.label)), find(shape.hbox));
    EXPECT_EQ(labelText(find(shape.label)), textOf(shape.messageId));
    EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(find(shape.actionArea))), 10u);
    EXPECT_EQ(gtk_widget_get_parent(find(shape.buttonBox)), find(shape.actionArea));
    for (auto& b : shape.buttons) {
        GtkWidget* button = find(b.first);
        ASSERT_TRUE(GTK_IS_BUTTON(button)) << b.first;
        EXPECT_EQ(gtk_widget_get_parent(button), find(shape.buttonBox));
        EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(button)), textOf(b.second));
        EXPECT_TRUE(gtk_widget_get_can_default(button));
        EXPECT_EQ(lookupWidget(mainWindow, b.first), nullptr);
    }
    EXPECT_EQ(lookupWidget(mainWindow, shape.dialog), nullptr);

    gpointer weakButton = find(shape.buttons[0].first);
    g_object_add_weak_pointer(G_OBJECT(weakButton), &weakButton);
    gtk_widget_destroy(dialog);
    drainEvents();
    EXPECT_EQ(weakButton, nullptr);
}

TEST_P(DialogsTest, ModalDialogWithTheLastButtonFocusedAndDefault) {
    const DialogShape& shape = *GetParam();
    gtk_widget_show(mainWindow);
    GtkWidget* dialog = shape.create();
    GtkWidget* last = lookupWidget(dialog, shape.buttons.back().first);
    EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(dialog)), textOf(shape.titleId));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(dialog)));
    EXPECT_EQ(gtk_window_get_type_hint(GTK_WINDOW(dialog)), GDK_WINDOW_TYPE_HINT_DIALOG);
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(mainWindow));

    gtk_widget_show(dialog);
    drainEvents();
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(dialog)), last);
    EXPECT_TRUE(gtk_widget_has_default(last));
    gtk_widget_destroy(dialog);

    // Once the main window is hidden (after Finish) there is nothing to be
    // transient for.
    gtk_widget_hide(mainWindow);
    dialog = shape.create();
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
    gtk_widget_destroy(dialog);
}

TEST_P(DialogsTest, EveryCallBuildsAFreshDialog) {
    const DialogShape& shape = *GetParam();
    GtkWidget* first = shape.create();
    GtkWidget* second = shape.create();
    EXPECT_NE(first, second);
    EXPECT_NE(lookupWidget(first, shape.label), lookupWidget(second, shape.label));
    gtk_widget_destroy(first);
    gtk_widget_destroy(second);
}

INSTANTIATE_TEST_SUITE_P(BothDialogs, DialogsTest, ::testing::Values(&ExitShape, &ProxyShape),
                         [](const ::testing::TestParamInfo<const DialogShape*>& info) {
                             return std::string(info.param == &ExitShape ? "Exit" : "Proxy");
                         });

gboolean clickButton(gpointer button) {
    gtk_button_clicked(GTK_BUTTON(button));
    return G_SOURCE_REMOVE;
}

gboolean closeWindow(gpointer window) {
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
    gtk_main_do_event(event);
    gdk_event_free(event);
    return G_SOURCE_REMOVE;
}

gboolean giveUp(gpointer timedOut) {
    *static_cast<bool*>(timedOut) = true;
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

// Runs the dialog the way its callers do: shown, a nested main loop that one
// of its handlers ends, then destroyed. False when no handler ended the loop.
bool runNested(GtkWidget* dialog, GSourceFunc action, gpointer target) {
    gtk_widget_show(dialog);
    g_idle_add(action, target);
    bool timedOut = false;
    guint guard = g_timeout_add(10000, giveUp, &timedOut);
    gtk_main();
    if (!timedOut)
        g_source_remove(guard);
    gtk_widget_destroy(dialog);
    return !timedOut;
}

TEST(DialogHandlers, ButtonsAndCloseBoxEndTheNestedLoop) {
    int answer = 0;
    GtkWidget* exitDialog = createExitDialog();
    g_object_set_data(G_OBJECT(exitDialog), "oked", &answer);
    EXPECT_TRUE(runNested(exitDialog, clickButton, lookupWidget(exitDialog, "exit_no_button")));
    EXPECT_EQ(answer, 0);

    exitDialog = createExitDialog();
    g_object_set_data(G_OBJECT(exitDialog), "oked", &answer);
    EXPECT_TRUE(runNested(exitDialog, clickButton, lookupWidget(exitDialog, "exit_yes_button")));
    EXPECT_EQ(answer, 1);
    installTexts();  // the Yes handler closed the string service

    GtkWidget* proxy = createProxyIssueDialog();
    EXPECT_TRUE(runNested(proxy, clickButton, lookupWidget(proxy, "proxy_ok_button")));
    installTexts();

    // The window manager's close request on the notice ends it too.
    proxy = createProxyIssueDialog();
    EXPECT_TRUE(runNested(proxy, closeWindow, proxy));
    installTexts();
}

}  // namespace
