// The kernel rebuild notice, the review page and the run page with the
// install output.
#include "interface/pages.h"
#include "interface/widget_build.h"
#include "wizard/text_ids.h"

GtkWidget* createKernelRebuildMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("kernelRebuild_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "kernelRebuild_pixmap");

    GtkWidget* label =
        addNamedWidget(window, "kernelRebuild_label", newResourceLabel(KernelRebuildNoticeId));
    gtk_box_pack_start(GTK_BOX(area), label, TRUE, TRUE, 0);
    setPageLabelLayout(label, 367, 0.0f, 0.0f);
    return area;
}

GtkWidget* createReviewMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("review_main_area", GTK_ORIENTATION_HORIZONTAL, 5);
    addPagePicture(window, area, "review_pixmap");

    GtkWidget* vbox7 = addNamedWidget(window, "vbox7", gtk_box_new(GTK_ORIENTATION_VERTICAL, 5));
    gtk_box_pack_start(GTK_BOX(area), vbox7, TRUE, TRUE, 0);

    GtkWidget* intro = addNamedWidget(window, "review_label", newResourceLabel(ReviewIntroId));
    gtk_box_pack_start(GTK_BOX(vbox7), intro, FALSE, TRUE, 0);
    setPageLabelLayout(intro, 380, 0.0f, 0.5f);

    GtkWidget* heading = addNamedWidget(window, "review_current_settings",
                                        newResourceLabel(ReviewSettingsHeadingId));
    gtk_box_pack_start(GTK_BOX(vbox7), heading, FALSE, FALSE, 0);
    setPageLabelLayout(heading, 210, 0.0f, 0.5f);

    addScrolledTextView(window, vbox7, "scrolledwindow2", "review_text", GTK_WRAP_WORD_CHAR,
                        GTK_POLICY_AUTOMATIC);

    // The packages and what happens to each, below the settings in a list of their own
    // that takes the height it needs: the settings' view gives up its height first, so
    // the list is seen without scrolling (navigation.cpp fills it).
    GtkWidget* packages =
        addNamedWidget(window, "review_packages", gtk_box_new(GTK_ORIENTATION_VERTICAL, 2));
    gtk_box_pack_start(GTK_BOX(vbox7), packages, FALSE, FALSE, 0);
    return area;
}

GtkWidget* createRunMainArea(GtkWidget* window) {
    GtkWidget* area = newPageMainArea("run_main_area", GTK_ORIENTATION_VERTICAL, 4);

    GtkWidget* note = addNamedWidget(window, "run_label", newResourceLabel(RunNoteId));
    gtk_box_pack_start(GTK_BOX(area), note, FALSE, FALSE, 0);
    setPageLabelLayout(note, 509, 0.0f, 0.5f);

    // The progress of the whole install, above its output (interface/install_run.cpp).
    GtkWidget* progress = addNamedWidget(window, "run_progress", gtk_progress_bar_new());
    gtk_box_pack_start(GTK_BOX(area), progress, FALSE, FALSE, 0);

    GtkWidget* hbox2 = addNamedWidget(window, "hbox2", gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 3));
    gtk_box_pack_start(GTK_BOX(area), hbox2, TRUE, TRUE, 0);

    // A text view in a plain box grows to the height of all its text, so the
    // output view sits in a scrolled window whose vertical bar is always there.
    GtkWidget* term = addScrolledTextView(window, hbox2, "run_scrolledwindow", "run_term",
                                          GTK_WRAP_WORD_CHAR, GTK_POLICY_ALWAYS);
    GtkWidget* scrolled = gtk_widget_get_parent(term);

    GtkWidget* scrollbar = gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(scrolled));
    gtk_widget_set_can_focus(scrollbar, FALSE);
    addNamedWidget(window, "run_vscrollbar", scrollbar);
    return area;
}
