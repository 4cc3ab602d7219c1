// Text on a character terminal: how wide locale text is, wrapping at the terminal's
// width without splitting a character, and text from outside the database in the
// locale's encoding.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Columns that `text` (in the locale's encoding) takes on a terminal: wcwidth of each
// character; a byte that forms no character takes one column, a control character none.
int displayWidth(const std::string& text);

// `text` in lines of at most `width` columns, each line of `text` wrapped on its own:
// between words where it can, beside a wide character (text without blanks between its
// words) too, and inside a word only where the word is wider than a line. Blanks at a
// break are dropped. A tab becomes blanks up to the next multiple of four columns.
// Continuation lines are indented like the line's own leading blanks, or by
// `hangingIndent` when that is more, unless the indent would take half the width.
std::vector<std::string> wrapText(const std::string& text, int width, int hangingIndent = 0);

// Valid UTF-8 `text` in the locale's encoding, each character the locale cannot
// represent as '?'. Text that is not valid UTF-8 is returned as it is.
std::string utf8ToLocale(const std::string& text);

// Text from a file of the medium, whose bytes are UTF-8 or in the locale's encoding, in
// the locale's encoding: UTF-8 is converted (utf8ToLocale); otherwise each byte that
// forms no character of the locale becomes '?'.
std::string externalToLocale(const std::string& bytes);

// Breaks a stream of locale text (the install output, arriving in pieces that may end
// inside a line or a character) into lines of at most `width` columns: newlines are
// put in where a line would grow wider, and tabs become blanks.
class ColumnBreaker {
  public:
    explicit ColumnBreaker(int width) : width_(width) {}
    // The text of this piece to write; an incomplete character at its end waits for
    // the next piece.
    std::string feed(const std::string& text);
    bool atLineStart() const { return column_ == 0; }

  private:
    int width_;
    int column_ = 0;
    std::string held_;
};
