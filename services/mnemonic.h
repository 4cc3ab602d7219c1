// Access keys in button labels, for the console wizard, which has none.
#pragma once

#include <string>

// A button label of the database (in the locale's multibyte encoding) as it reads
// without access keys: an underscore marks the next character as the access key and
// is not shown, "__" stands for one underscore, and an underscore at the end is
// dropped, as GTK shows a label with a mnemonic. An access key in parentheses after
// the label, "(_N)", the way labels without Latin letters carry one ("次へ(_N) >"),
// goes as a whole. A label without an underscore is returned as it is. The text is
// read character by character in the locale encoding, so a multibyte character whose
// trailing byte is 0x5F stays whole.
std::string withoutMnemonics(const std::string& label);
