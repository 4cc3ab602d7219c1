// The exit question, the proxy notice and the question whether to trust the medium's
// signing key: modal dialogs, built anew on each use.
#pragma once

#include <gtk/gtk.h>

#include <string>

GtkWidget* createExitDialog();
GtkWidget* createProxyIssueDialog();

// Asks whether the medium's key may be imported; `question` names the key (locale
// text). True for Yes; No, Escape and the close box answer no.
bool askTrustMediumKey(const std::string& question);
