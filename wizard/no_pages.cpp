// The page constructors of the `stage3` program, which shows no windows: the page
// table names them, but only the graphical wizard in stage3-gtk builds pages.
#include "interface/pages.h"

GtkWidget* createIntroMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createLicenseMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createFinishMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createSetuptypeMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createComponentsMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createKernelRebuildMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createReviewMainArea(GtkWidget*) {
    return nullptr;
}
GtkWidget* createRunMainArea(GtkWidget*) {
    return nullptr;
}
