// The install output as the run page shows it, from any bytes fed in pieces of any size
// (the first bytes pick the sizes). What is shown holds no escape character or NUL and
// no line longer than a view line and a piece; of UTF-8 output, every part shown is
// UTF-8 on its own (no character is cut between two parts); progress lines are never shown and are
// kept without line breaks or escapes; and the pieces the bytes come in change nothing.
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "wizard/output_reader.h"

namespace {

struct Run {
    std::string shown;
    std::vector<std::string> progress;
};

bool isUtf8(const std::string& text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Feeds `text` in parts of the sizes `sizes` gives in turn (all of it at once without).
Run read(const std::string& text, const std::string& sizes) {
    const bool utf8 = isUtf8(text);
    OutputReader reader;
    Run run;
    std::size_t at = 0;
    for (std::size_t i = 0; at < text.size(); ++i) {
        const std::size_t part =
            sizes.empty() ? text.size() : 1 + static_cast<unsigned char>(sizes[i % sizes.size()]);
        std::string shown = reader.feed(text.data() + at, std::min(part, text.size() - at));
        at += std::min(part, text.size() - at);
        if (utf8 && !isUtf8(shown))
            std::abort();
        run.shown += shown;
        for (std::string& line : reader.takeProgressLines()) run.progress.push_back(line);
    }
    const std::string last = reader.finish();
    if (utf8 && !isUtf8(last))
        std::abort();
    run.shown += last;
    for (std::string& line : reader.takeProgressLines()) run.progress.push_back(line);
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t sizeBytes = 1 + data[0] % 8;
    if (size < 1 + sizeBytes)
        return 0;
    const std::string sizes(reinterpret_cast<const char*>(data + 1), sizeBytes);
    const std::string text(reinterpret_cast<const char*>(data + 1 + sizeBytes),
                           size - 1 - sizeBytes);

    const Run pieces = read(text, sizes);
    const Run whole = read(text, "");
    if (pieces.shown != whole.shown || pieces.progress != whole.progress)
        std::abort();
    std::size_t column = 0;
    for (char c : whole.shown) {
        if (c == 27 || c == '\0')
            std::abort();
        column = c == '\n' ? 0 : column + 1;
        if (column > OutputReader::ViewLineLimit + OutputReader::PieceLimit)
            std::abort();
    }
    for (const std::string& line : whole.progress)
        if (line.compare(0, 3, "%% ") != 0 || line.find_first_of("\n\x1b") != std::string::npos)
            std::abort();
    return 0;
}
