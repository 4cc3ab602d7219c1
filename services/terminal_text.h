// Texts written to a terminal or to standard error.
#pragma once

#include <string>

// `text` (in the locale's multibyte encoding) without its control characters other
// than tab and newline: no text from the database or the medium can move the cursor,
// clear the screen, retitle the window or send other commands to the user's terminal.
// Bytes that form no character of the locale encoding are kept unless they are C0 or
// C1 control codes.
std::string terminalSafeText(const char* text);

// `text` as one line of a terminal or of output a script reads line by line: as
// terminalSafeText, and with its tabs and newlines shown as '?', so that a path or a
// name from the medium cannot start a line that seems to be the program's own.
std::string terminalSafeLine(const std::string& text);
