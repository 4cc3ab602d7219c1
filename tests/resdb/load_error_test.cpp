// The reason a database file cannot be read, and the order of its languages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "resdb/language_db.h"
#include "test_support.h"

namespace {

// One damage per row: Load, then every listed block, must end in this reason.
TEST(LoadError, EachDamageIsNamed) {
    const std::string emptyBlock = U32(0);
    const std::string good = kMagicBytes + U32(1) + HeaderBytes(0, 40, "en", "US") + emptyBlock;
    struct Case {
        const char* name;
        std::string contents;
        LoadError::Code code;
        std::string message;
    } cases[] = {
        {"sound", good, LoadError::NONE, ""},
        {"empty", "", LoadError::TRUNCATED, "truncated file header (0 of 8 bytes)"},
        {"count cut short", kMagicBytes + std::string("\1\0", 2), LoadError::TRUNCATED,
         "truncated file header (6 of 8 bytes)"},
        // The magic is judged before the rest of the file header is missed.
        {"wrong magic, short file", Hex("01 00 00 00 00"), LoadError::WRONG_MAGIC,
         "wrong magic: not a resource database"},
        {"first header cut short", good.substr(0, 20), LoadError::HEADER_DAMAGED,
         "truncated or damaged language header 1 of 1 at offset 8 (file size 20)"},
        {"next header past the end",
         kMagicBytes + U32(2) + HeaderBytes(5000, 40, "en", "US") + emptyBlock,
         LoadError::HEADER_DAMAGED,
         "truncated or damaged language header 2 of 2 at offset 5000 (file size 44)"},
        {"chain loops", kMagicBytes + U32(2) + HeaderBytes(8, 40, "en", "US") + emptyBlock,
         LoadError::HEADER_CHAIN_LOOPS,
         "damaged language header 2 of 2 at offset 8: the header chain loops"},
        {"block past the end",
         kMagicBytes + U32(2) + HeaderBytes(40, 72, "en", "US") +
             HeaderBytes(0, 9999, "pt", "BRA") + emptyBlock,
         LoadError::BLOCK_DAMAGED, "damaged resource block of language pt_BRA"},
    };
    ScratchDir dir;
    ASSERT_TRUE(dir.ok());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.file("db"), c.contents));
        LanguageDB_C db;
        const bool loaded = db.Load(dir.file("db").c_str());
        EXPECT_EQ(c.code == LoadError::NONE || c.code == LoadError::BLOCK_DAMAGED, loaded);
        for (const auto& header : db.headers) {
            LanguageDB_C::iterator where;
            db.GetResourceDB(header.first, where);
        }
        EXPECT_EQ(c.code, db.LastLoadError().code);
        EXPECT_EQ(c.message, db.LastLoadError().message);
    }

    ASSERT_EQ(0, mkfifo(dir.file("fifo").c_str(), 0600));
    const std::pair<std::string, std::string> unopenable[] = {
        {dir.file("missing"), "cannot open: No such file or directory"},
        {dir.file("."), "cannot open: is a directory"},
        {dir.file("fifo"), "cannot open: not a regular file"},
    };
    for (const auto& path : unopenable) {
        LanguageDB_C db;
        EXPECT_FALSE(db.Load(path.first.c_str()));
        EXPECT_EQ(LoadError::CANNOT_OPEN, db.LastLoadError().code) << path.first;
        EXPECT_EQ(path.second, db.LastLoadError().message);
    }

    // Refused unread: a file larger than any database, and one that reports no size
    // though it holds bytes, as /proc/kmsg does.
    ASSERT_EQ(0, truncate(dir.file("db").c_str(), 129 << 20));
    const std::pair<std::string, LoadError::Code> unread[] = {
        {dir.file("db"), LoadError::TOO_LARGE},
        {"/proc/self/environ", LoadError::TRUNCATED},
    };
    for (const auto& file : unread) {
        LanguageDB_C db;
        EXPECT_FALSE(db.Load(file.first.c_str()));
        EXPECT_EQ(file.second, db.LastLoadError().code) << file.first;
    }
}

TEST(LoadError, LanguagesInFileOrderFollowTheHeaderChain) {
    // Headers at 8, 40, 72 and 104 chained 8 -> 104 -> 40 -> 72; en/US is
    // listed twice and stands where its last header is.
    const std::string contents = kMagicBytes + U32(4) + HeaderBytes(104, 136, "en", "US") +
                                 HeaderBytes(72, 136, "fr", "FR") +
                                 HeaderBytes(0, 136, "en", "US") +
                                 HeaderBytes(40, 136, "de", "DE") + U32(0);
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("db"), contents));
    LanguageDB_C db;
    ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    const std::vector<Language_C> expected = {Language_C("de", "DE", 0, 0),
                                              Language_C("fr", "FR", 0, 0), Language_C()};
    EXPECT_EQ(expected, db.LanguagesInFileOrder());
}

}  // namespace
