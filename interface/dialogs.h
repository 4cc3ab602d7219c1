// The exit question and the proxy notice: modal dialogs, built anew on each use.
#pragma once

#include <gtk/gtk.h>

GtkWidget* createExitDialog();
GtkWidget* createProxyIssueDialog();
