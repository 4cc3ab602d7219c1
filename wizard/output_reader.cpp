#include "wizard/output_reader.h"

#include <cstring>

namespace {
// process-wide: the end line counts only once this process handed out the line that
// echoes it (getEchoEOFString), to a script the reader never sees.
bool eofStringObtained = false;
const char* const EchoEOFString = "echo !!!EOF!!!\n";
const char* const InputEOFString = "!!!EOF!!!\n";

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The script's step lines and rpm's percentages ("%% step 2 of 3", "%% 42.500000"); any
// other line, also one that begins with "%%", is a package's and is shown.
bool isProgressLine(const std::string& text) {
    if (text.compare(0, 3, "%% ") != 0)
        return false;
    return text.compare(3, 5, "step ") == 0 ||
           (text.size() > 3 && text[3] >= '0' && text[3] <= '9');
}
}  // namespace

const char* const OutputReader::ClosingLine = "__________________________________\n";

const char* getEchoEOFString() {
    eofStringObtained = true;
    return EchoEOFString;
}

bool isInputEOFString(const char* line) {
    return eofStringObtained && std::strcmp(line, InputEOFString) == 0;
}

std::string stripEscapeSequences(const std::string& piece, bool& inEscape) {
    std::string kept;
    kept.reserve(piece.size());
    for (char c : piece) {
        if (c == '\r' || c == '\n') {
            inEscape = false;
            kept += c;
        } else if (inEscape) {
            if (isAsciiLetter(c))
                inEscape = false;
        } else if (c == 27) {
            inEscape = true;
        } else if (c == '\0') {
            // A text view cannot hold NUL; dropping it keeps the rest of the line.
        } else {
            kept += c;
        }
    }
    return kept;
}

std::string takeIncompleteUtf8Tail(std::string& text) {
    size_t n = text.size();
    // Look back at most three bytes for the lead byte of the last character.
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
        unsigned char c = static_cast<unsigned char>(text[n - back]);
        if ((c & 0xC0) == 0x80)
            continue;  // continuation byte
        size_t needed = (c & 0xE0) == 0xC0   ? 2
                        : (c & 0xF0) == 0xE0 ? 3
                        : (c & 0xF8) == 0xF0 ? 4
                                             : 1;
        if (needed <= back)
            return std::string();
        std::string tail = text.substr(n - back);
        text.resize(n - back);
        return tail;
    }
    return std::string();
}

std::string OutputReader::feed(const char* data, size_t length) {
    if (ended_)
        return std::string();
    pending_.append(data, length);
    std::string shown = heldTail_ + takePieces(false);
    heldTail_ = ended_ ? std::string() : takeIncompleteUtf8Tail(shown);
    return shown;
}

std::string OutputReader::finish() {
    if (ended_)
        return std::string();
    std::string shown = heldTail_ + takePieces(true);
    heldTail_.clear();
    heldClosingLine_ = false;
    ended_ = true;
    return shown;
}

std::vector<std::string> OutputReader::takeProgressLines() {
    std::vector<std::string> lines;
    lines.swap(progressLines_);
    return lines;
}

std::string OutputReader::takePieces(bool atEnd) {
    std::string shown;
    size_t start = 0;
    while (!ended_ && start < pending_.size()) {
        size_t available = pending_.size() - start;
        size_t window = available < PieceLimit ? available : PieceLimit;
        const char* begin = pending_.data() + start;
        const void* newline = std::memchr(begin, '\n', window);
        size_t length;
        if (newline)
            length = static_cast<const char*>(newline) - begin + 1;
        else if (available >= PieceLimit || atEnd)
            length = window;
        else
            break;  // wait for the rest of the line

        std::string piece(begin, length);
        start += length;
        bool lineStart = atLineStart_;
        atLineStart_ = piece.back() == '\n';
        std::string text = stripEscapeSequences(piece, inEscape_);
        if (isInputEOFString(text.c_str())) {
            ended_ = true;
            break;
        }
        // More output after a closing line: it was a package's line, shown like any other.
        if (heldClosingLine_) {
            shown += ClosingLine;
            viewColumn_ = 0;
            heldClosingLine_ = false;
        }
        if (lineStart && text == ClosingLine) {
            heldClosingLine_ = true;
            continue;
        }
        if (lineStart && isProgressLine(text)) {
            inProgressLine_ = true;
            progressLines_.push_back(text.substr(0, text.find('\n')));
        }
        if (inProgressLine_) {
            inProgressLine_ = !atLineStart_;
            continue;
        }
        shown += text;
        if (!text.empty() && text.back() == '\n') {
            viewColumn_ = 0;
        } else if ((viewColumn_ += text.size()) >= ViewLineLimit) {
            // The break goes before a character cut at the piece's end.
            std::string end = shown.substr(shown.size() < 4 ? 0 : shown.size() - 4);
            size_t cut = takeIncompleteUtf8Tail(end).size();
            shown.insert(shown.size() - cut, 1, '\n');
            viewColumn_ = cut;
        }
    }
    pending_.erase(0, start);
    if (ended_)
        pending_.clear();
    return shown;
}
