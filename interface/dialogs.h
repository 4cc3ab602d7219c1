// The exit question, the proxy notice and the question whether to trust the medium's
// signing key: modal dialogs, built anew on each use.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "wizard/install_checks.h"

GtkWidget* createExitDialog();
GtkWidget* createProxyIssueDialog();

// Asks whether the medium's key may be imported, showing the key's fields and that the
// key stays in rpm's keyring. True for Yes; No, Escape and the close box answer no.
bool askTrustMediumKey(const KeyQuestion& question);
