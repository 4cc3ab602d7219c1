#include "wizard/output_reader.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Feeds the whole text in chunks of the given size and collects what is shown, and the
// progress lines.
std::string showAll(const std::string& output, size_t chunk, bool* ended = nullptr,
                    std::vector<std::string>* progress = nullptr) {
    OutputReader reader;
    std::string shown;
    std::vector<std::string> lines;
    for (size_t at = 0; at < output.size(); at += chunk) {
        shown += reader.feed(output.data() + at, std::min(chunk, output.size() - at));
        for (const std::string& line : reader.takeProgressLines()) lines.push_back(line);
    }
    bool endedBeforeFinish = reader.ended();
    shown += reader.finish();
    for (const std::string& line : reader.takeProgressLines()) lines.push_back(line);
    if (ended)
        *ended = endedBeforeFinish;
    if (progress)
        *progress = lines;
    return shown;
}

TEST(OutputReader, ShowsLinesAsTheyCome) {
    OutputReader reader;
    EXPECT_EQ(reader.feed("one\ntw", 6), "one\n");
    EXPECT_EQ(reader.feed("o\n", 2), "two\n");
    EXPECT_FALSE(reader.ended());
}

TEST(OutputReader, LongLineIsShownWholeInPieces) {
    std::string line(300, 'x');
    OutputReader reader;
    // The first 254 characters are a piece of their own and show without the newline.
    EXPECT_EQ(reader.feed(line.data(), 260), std::string(254, 'x'));
    EXPECT_EQ(reader.feed(line.data() + 260, 40), "");
    EXPECT_EQ(reader.feed("\n", 1), std::string(46, 'x') + "\n");
}

// Only the stream's end ends the output; of the lines a package prints, none is hidden,
// and only the script's closing line is, when it is the last.
TEST(OutputReader, OnlyTheClosingLineAtTheEndIsHidden) {
    const std::string closing = OutputReader::ClosingLine;
    const struct {
        std::string output, shown;
    } cases[] = {
        {"rpm -Uv pkg\nDone!!!!\n" + closing, "rpm -Uv pkg\nDone!!!!\n"},
        {closing + "e2e: /opt is full\n" + closing, closing + "e2e: /opt is full\n"},
        {"_____ notice\nb\n", "_____ notice\nb\n"},
    };
    for (const auto& c : cases) {
        for (size_t chunk : {1u, 7u, 4096u}) {
            bool ended = true;
            EXPECT_EQ(showAll(c.output, chunk, &ended), c.shown) << c.output << chunk;
            EXPECT_FALSE(ended) << c.output << chunk;
        }
    }
}

TEST(OutputReader, UnderscoresInsideALongLineDoNotEndTheOutput) {
    std::string line = std::string(254, 'a') + "_____ still the same line\n";
    bool ended = true;
    EXPECT_EQ(showAll(line + "next\n", 5, &ended), line + "next\n");
    EXPECT_FALSE(ended);
}

TEST(OutputReader, ProgressLinesAreKeptOutOfTheShownText) {
    const std::string longProgress = "%% " + std::string(300, '7');
    const std::string output =
        "rpm -Uv x\n%% step 1 of 2\nVerifying packages...\n%% 0,000000\r\n"
        "\x1b[0m%% 50.000000\nnot %% at the start\n% 12\n%% a package's own\n" +
        longProgress + "\nDone!!!!\n%% 100.000000";
    for (size_t chunk : {1u, 7u, 4096u}) {
        std::vector<std::string> progress;
        EXPECT_EQ(showAll(output, chunk, nullptr, &progress),
                  "rpm -Uv x\nVerifying packages...\nnot %% at the start\n% 12\n"
                  "%% a package's own\nDone!!!!\n")
            << chunk;
        EXPECT_EQ(progress, (std::vector<std::string>{
                                "%% step 1 of 2", "%% 0,000000\r", "%% 50.000000",
                                longProgress.substr(0, OutputReader::PieceLimit), "%% 100.000000"}))
            << chunk;
    }
}

TEST(OutputReader, ColourSequencesAreRemoved) {
    const struct {
        const char* output;
        const char* shown;
    } cases[] = {
        {"\x1b[1;32mOK\x1b[0m\n", "OK\n"},      {"a\x1b[2Kb\n", "ab\n"},
        {"cut \x1b[1;3\n", "cut \n"},            // a sequence ends at the line's end
        {"cr \x1b[12\rkept\n", "cr \rkept\n"},   // and at a carriage return
        {"\x1b]0;title\x07x\n", "itle\x07x\n"},  // only up to the first letter
    };
    for (const auto& c : cases) EXPECT_EQ(showAll(c.output, 2), c.shown) << c.output;
}

TEST(OutputReader, SequenceCutBetweenPiecesIsStillRemoved) {
    std::string line = std::string(252, 'a') + "\x1b[1;32mgreen\n";
    EXPECT_EQ(showAll(line, 4096), std::string(252, 'a') + "green\n");
}

TEST(OutputReader, LineOfOnlyEscapesDoesNotEndTheOutput) {
    bool ended = true;
    EXPECT_EQ(showAll("a\n\x1b[0m", 4096, &ended), "a\n");
    EXPECT_EQ(showAll("\x1b[0mb\nc\n", 1, &ended), "b\nc\n");
    EXPECT_FALSE(ended);
}

TEST(OutputReader, NulBytesAreDroppedNotTheRestOfTheLine) {
    EXPECT_EQ(showAll(std::string("a\0b\n\0c\n", 7), 2), "ab\nc\n");
}

TEST(OutputReader, LastLineWithoutNewlineIsShown) {
    EXPECT_EQ(showAll("first\nlast words", 3), "first\nlast words");
}

TEST(OutputReader, EofMarkerIsAnOrdinaryLineUntilAskedFor) {
    bool ended = true;
    EXPECT_FALSE(isInputEOFString("!!!EOF!!!\n"));
    EXPECT_EQ(showAll("!!!EOF!!!\nmore\n", 4, &ended), "!!!EOF!!!\nmore\n");
    EXPECT_FALSE(ended);

    EXPECT_STREQ(getEchoEOFString(), "echo !!!EOF!!!\n");
    EXPECT_TRUE(isInputEOFString("!!!EOF!!!\n"));
    EXPECT_FALSE(isInputEOFString("!!!EOF!!!"));
    EXPECT_EQ(showAll("x\n!!!EOF!!!\nmore\n", 4, &ended), "x\n");
    EXPECT_TRUE(ended);
}

TEST(OutputReader, MultibyteCharacterCutBetweenReadsIsHeldBack) {
    std::string line =
        std::string(253, 'a') + "\xc3\xa9 caf\xc3\xa9\n";  // é across the piece limit
    OutputReader reader;
    std::string shown = reader.feed(line.data(), 254);
    EXPECT_EQ(shown, std::string(253, 'a'));
    shown += reader.feed(line.data() + 254, line.size() - 254);
    EXPECT_EQ(shown, line);

    std::string text = "ab\xe2\x82";
    EXPECT_EQ(takeIncompleteUtf8Tail(text), "\xe2\x82");
    EXPECT_EQ(text, "ab");
    text = "ab\xe2\x82\xac";
    EXPECT_EQ(takeIncompleteUtf8Tail(text), "");
    EXPECT_EQ(text, "ab\xe2\x82\xac");
}

TEST(OutputReader, OverlongLineIsShownAsViewLinesOfBoundedLength) {
    // A megabyte without a newline, with characters of two and three bytes.
    std::string line;
    while (line.size() < 1024 * 1024) line += "ab\xc3\xa9\xe2\x82\xac ";
    std::string output = line + "\nshort line\n";
    // Hostile output: lead bytes that never complete a character.
    std::string leads(300 * 1024, '\xf0');
    for (size_t chunk : {1000u, 65536u}) {
        std::string shown = showAll(output, chunk);
        std::string joined;
        size_t start = 0, lines = 0;
        for (size_t nl; (nl = shown.find('\n', start)) != std::string::npos;
             start = nl + 1, ++lines) {
            std::string viewLine = shown.substr(start, nl - start);
            ASSERT_LE(viewLine.size(), OutputReader::ViewLineLimit + OutputReader::PieceLimit)
                << lines;
            ASSERT_TRUE(g_utf8_validate(viewLine.data(), viewLine.size(), nullptr)) << lines;
            joined += viewLine;
        }
        EXPECT_EQ(joined, line + "short line") << chunk;
        EXPECT_GE(lines, line.size() / (OutputReader::ViewLineLimit + OutputReader::PieceLimit));
        EXPECT_EQ(shown.substr(shown.size() - 12), "\nshort line\n");
        shown = showAll(leads, chunk);
        EXPECT_GE(std::count(shown.begin(), shown.end(), '\n'), 70) << chunk;
    }
}

TEST(OutputReader, NothingAfterTheEnd) {
    OutputReader reader;
    EXPECT_EQ(reader.feed(OutputReader::ClosingLine, strlen(OutputReader::ClosingLine)), "");
    EXPECT_FALSE(reader.ended());
    EXPECT_EQ(reader.finish(), "");
    EXPECT_TRUE(reader.ended());
    EXPECT_EQ(reader.feed("late\n", 5), "");
    EXPECT_EQ(reader.finish(), "");
}

}  // namespace
