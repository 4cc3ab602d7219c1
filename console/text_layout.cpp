#include "console/text_layout.h"

#include <glib.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "services/glib_memory.h"

namespace {

const int TabStop = 4;

// One character of locale text as the terminal shows it.
struct Glyph {
    std::string bytes;
    int width;
    bool blank;
    bool wide;
};

// The columns of the character `wide`; a control character takes none.
int columnsOf(wchar_t wide) {
    if (std::iswcntrl(static_cast<wint_t>(wide)))
        return 0;
    int columns = wcwidth(wide);
    return columns < 0 ? 1 : columns;
}

// The characters of one line (no newline in it), tabs turned into blanks.
std::vector<Glyph> glyphsOf(const std::string& line) {
    std::vector<Glyph> glyphs;
    std::mbstate_t state{};
    int column = 0;
    for (std::size_t at = 0; at < line.size();) {
        wchar_t wide = 0;
        std::size_t n = std::mbrtowc(&wide, line.data() + at, line.size() - at, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
            state = std::mbstate_t{};
            glyphs.push_back({line.substr(at, 1), 1, false, false});
            ++column;
            ++at;
            continue;
        }
        if (wide == L'\t') {
            do {
                glyphs.push_back({" ", 1, true, false});
            } while (++column % TabStop != 0);
        } else {
            int width = columnsOf(wide);
            glyphs.push_back({line.substr(at, n), width, wide == L' ', width > 1});
            column += width;
        }
        at += n;
    }
    return glyphs;
}

// Wraps the glyphs of one line into `lines`.
void wrapLine(const std::vector<Glyph>& glyphs, int width, int hangingIndent,
              std::vector<std::string>& lines) {
    std::size_t at = 0;
    int leading = 0;
    while (at < glyphs.size() && glyphs[at].blank) leading += glyphs[at++].width;
    int firstIndent = std::min(leading, width / 2);
    int indent = std::max(leading, hangingIndent);
    if (indent * 2 > width)
        indent = 0;

    std::string line(firstIndent, ' ');
    int lineIndent = firstIndent;
    int column = firstIndent;
    auto breakLine = [&]() {
        lines.push_back(line);
        line.assign(indent, ' ');
        lineIndent = column = indent;
    };
    while (at < glyphs.size()) {
        std::size_t start = at;
        int blanks = 0;
        while (start < glyphs.size() && glyphs[start].blank) blanks += glyphs[start++].width;
        if (start == glyphs.size())
            break;
        // The next unit that stays on one line: a word, or a single wide character.
        std::size_t end = start + 1;
        int unit = glyphs[start].width;
        if (!glyphs[start].wide) {
            while (end < glyphs.size() && !glyphs[end].blank && !glyphs[end].wide)
                unit += glyphs[end++].width;
        }
        bool empty = column == lineIndent;
        if (!empty && column + blanks + unit > width) {
            breakLine();
            empty = true;
        }
        if (!empty) {
            for (std::size_t i = at; i < start; ++i) line += glyphs[i].bytes;
            column += blanks;
        }
        // A word wider than a whole line goes on character by character.
        for (std::size_t i = start; i < end; ++i) {
            if (column + glyphs[i].width > width && column > lineIndent)
                breakLine();
            line += glyphs[i].bytes;
            column += glyphs[i].width;
        }
        at = end;
    }
    lines.push_back(line);
}

// `text` converted from UTF-8 to the locale's encoding, '?' for what it cannot hold. False
// when the locale is UTF-8 itself, `text` is not valid UTF-8 or the conversion failed.
bool fromUtf8(const std::string& text, std::string* converted) {
    const char* charset = nullptr;
    if (g_get_charset(&charset) ||
        !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return false;
    gsize written = 0;
    GCharPtr result(g_convert_with_fallback(text.data(), static_cast<gssize>(text.size()), charset,
                                            "UTF-8", "?", nullptr, &written, nullptr));
    if (!result)
        return false;
    converted->assign(result.get(), written);
    return true;
}

}  // namespace

int displayWidth(const std::string& text) {
    int width = 0;
    for (const Glyph& glyph : glyphsOf(text)) width += glyph.width;
    return width;
}

std::vector<std::string> wrapText(const std::string& text, int width, int hangingIndent) {
    std::vector<std::string> lines;
    width = std::max(width, 1);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\n', start);
        std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        wrapLine(glyphsOf(line), width, hangingIndent, lines);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

std::string utf8ToLocale(const std::string& text) {
    std::string converted;
    return fromUtf8(text, &converted) ? converted : text;
}

std::string externalToLocale(const std::string& bytes) {
    std::string converted;
    if (fromUtf8(bytes, &converted))
        return converted;
    const char* charset = nullptr;
    if (g_get_charset(&charset) &&
        g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr))
        return bytes;
    std::string text;
    text.reserve(bytes.size());
    std::mbstate_t state{};
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t n = std::mbrtowc(nullptr, bytes.data() + at, bytes.size() - at, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            state = std::mbstate_t{};
            text += '?';
            ++at;
            continue;
        }
        if (n == 0)
            n = 1;
        text.append(bytes, at, n);
        at += n;
    }
    return text;
}

std::string ColumnBreaker::feed(const std::string& piece) {
    std::string text = held_ + piece;
    held_.clear();
    std::string shown;
    shown.reserve(text.size() + text.size() / 64);
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        wchar_t wide = 0;
        std::size_t n = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
        if (n == static_cast<std::size_t>(-2)) {
            held_ = text.substr(at);
            break;
        }
        int width = 1;
        if (n == static_cast<std::size_t>(-1) || n == 0) {
            state = std::mbstate_t{};
            n = 1;
        } else if (wide == L'\n' || wide == L'\r') {
            column_ = 0;
            shown.append(text, at, n);
            at += n;
            continue;
        } else if (wide == L'\t') {
            do {
                if (column_ >= width_) {
                    shown += '\n';
                    column_ = 0;
                }
                shown += ' ';
            } while (++column_ % 8 != 0);
            at += n;
            continue;
        } else {
            width = columnsOf(wide);
        }
        if (column_ + width > width_ && column_ > 0) {
            shown += '\n';
            column_ = 0;
        }
        shown.append(text, at, n);
        column_ += width;
        at += n;
    }
    return shown;
}
