// A start-up refusal shown in a window, for a wizard started where no one reads
// standard error (a file manager, the autorun prompt, a desktop entry).
#pragma once

#include <string>
#include <vector>

// Shows `lines` (in the locale encoding, as they went to standard error) in a modal
// error dialog with an OK button, and returns once the user has closed it. The dialog
// carries the wizard's title when the texts could be loaded. GTK is initialised.
void showRefusalDialog(const std::vector<std::string>& lines);
