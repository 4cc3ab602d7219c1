// Turns the install script's output into the text shown on the run page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Pieces of at most 254 characters, up to and including a newline, have their terminal
// escape sequences removed. The output ends where the stream ends (finish), or at the
// end-of-output marker line, when one was asked for; whatever a package prints before
// that is shown. The script's own closing line (ClosingLine) is not shown when it is the
// last line of the output: it is held back until more output shows it was a package's.
// A progress line (wizard/progress.h: "%% step K of N", or "%% " and rpm's
// percentage) is never shown, but kept for takeProgressLines. A line longer than
// ViewLineLimit bytes is shown as several lines of at most that length and one piece
// (broken between characters), so that showing it costs time in proportion to its
// length.
class OutputReader {
  public:
    static const size_t PieceLimit = 254;
    static const size_t ViewLineLimit = 1024;
    // The line the install script prints last, on every way it ends.
    static const char* const ClosingLine;

    // Adds bytes read from the child. Returns the text to show now (possibly empty).
    std::string feed(const char* data, size_t length);
    // The stream ended: returns what is left to show, a last line without newline included.
    std::string finish();
    bool ended() const { return ended_; }
    // The progress lines met since the last call, in order, without escape sequences and
    // newlines; of a progress line longer than a piece, its first piece.
    std::vector<std::string> takeProgressLines();

  private:
    std::string takePieces(bool atEnd);
    std::string pending_;
    std::vector<std::string> progressLines_;
    bool inProgressLine_ = false;   // the pieces up to the next newline are not shown
    bool heldClosingLine_ = false;  // a closing line came and nothing after it yet
    std::string heldTail_;          // an incomplete UTF-8 character waiting for its last bytes
    bool ended_ = false;
    bool atLineStart_ = true;
    bool inEscape_ = false;
    size_t viewColumn_ = 0;  // bytes shown since the last line break
};

// Removes escape sequences: ESC and everything up to and including the next ASCII
// letter; CR, LF or the end of a line end a sequence early and stay. inEscape carries
// a sequence cut at the end of one piece into the next piece of the same line.
// NUL bytes, which a text view cannot show, are dropped too.
std::string stripEscapeSequences(const std::string& piece, bool& inEscape);

// Splits off an incomplete UTF-8 character at the end of text (returned, removed from text).
std::string takeIncompleteUtf8Tail(std::string& text);

const char* getEchoEOFString();
bool isInputEOFString(const char* line);
