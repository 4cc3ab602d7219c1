// Quoting for command lines run through /bin/sh.
#pragma once

#include <string>

// One shell word that /bin/sh reads back as exactly `text`, whatever it holds.
std::string shellQuote(const std::string& text);
