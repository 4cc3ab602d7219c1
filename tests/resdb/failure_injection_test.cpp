// Every open, read, write, seek and peek made by Load and Store is made to
// fail in turn: the result is then a failure or exactly the right data.
#include <gtest/gtest.h>

#include <map>

#include "resdb/language_db.h"
#include "resdb/memory_file.h"
#include "test_support.h"

namespace {

typedef std::map<Language_C, std::map<unsigned int, std::string>> Contents;

void Fill(LanguageDB_C& db) {
    db.AddString(Language_C("en", "US", 0, 0), 1, "one");
    db.AddString(Language_C("en", "US", 0, 0), 2, "two");
    db.AddResource(Language_C("de", "DE", 0, 0), 1, LangRes_C(std::string("e\0s", 3)));
    db.AddResource(Language_C("fr", "FR", 0, 0), 1, LangRes_C(""));
}

Contents Snapshot(const LanguageDB_C& db) {
    Contents contents;
    for (const auto& language : db.resources)
        for (const auto& entry : language.second.entries)
            contents[language.first][entry.first] = entry.second.Data();
    return contents;
}

class FailureInjection : public ::testing::Test {
  protected:
    FailureInjection() : scope(disk) {
        LanguageDB_C db;
        Fill(db);
        expected = Snapshot(db);
        EXPECT_TRUE(db.Store("db"));
        image = disk.files["db"];
    }

    // Arms the disk so that the n-th operation from now fails.
    void FailIn(unsigned long n) {
        disk.operations = 0;
        disk.failAt = n;
    }
    bool Injected() const { return disk.operations >= disk.failAt; }

    MemoryDisk disk;
    MemoryDiskScope scope;
    Contents expected;
    std::string image;
};

TEST_F(FailureInjection, StoreFailsOnEveryFailedOperation) {
    unsigned long n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        disk.files.clear();
        LanguageDB_C db;
        Fill(db);
        FailIn(n);
        bool stored = db.Store("db");
        if (!Injected()) {
            EXPECT_TRUE(stored);
            EXPECT_EQ(image, disk.files["db"]);
            break;
        }
        EXPECT_FALSE(stored);
        EXPECT_TRUE(db.file_P == nullptr || !db.file_P->IsOpen());
    }
    EXPECT_GT(n, 30u);
}

TEST_F(FailureInjection, StoreOfALoadedDatabaseFailsOnEveryFailedOperation) {
    unsigned long n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        disk.files = {{"db", image}};
        LanguageDB_C db;
        ASSERT_TRUE(db.Load("db"));
        FailIn(n);
        bool stored = db.Store("copy");
        if (!Injected()) {
            EXPECT_TRUE(stored);
            EXPECT_EQ(image, disk.files["copy"]);
            break;
        }
        EXPECT_FALSE(stored);
        EXPECT_TRUE(db.file_P == nullptr || !db.file_P->IsOpen());
    }
    EXPECT_GT(n, 40u);
}

TEST_F(FailureInjection, LoadAndLookupsNeverReturnWrongData) {
    unsigned long n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        disk.files = {{"db", image}};
        LanguageDB_C db;
        FailIn(n);
        bool loaded = db.Load("db");
        Contents seen;
        bool complete = loaded;
        for (const auto& language : expected) {
            LanguageDB_C::iterator where;
            if (!db.GetResourceDB(language.first, where)) {
                complete = false;
                continue;
            }
            for (const auto& entry : where->second.entries)
                seen[language.first][entry.first] = entry.second.Data();
            EXPECT_EQ(language.second, seen[language.first]);
        }
        if (loaded) {
            EXPECT_EQ(expected.size(), db.headers.size());
        }
        if (!Injected()) {
            EXPECT_TRUE(complete);
            break;
        }
    }
    EXPECT_GT(n, 20u);
}

TEST_F(FailureInjection, BlockLoadIsAllOrNothing) {
    LanguageDB_C db;
    Fill(db);
    const ResourceDB_C& source = db.resources.at(Language_C("en", "US", 0, 0));
    MemoryFile_C file(disk);
    ASSERT_TRUE(file.Open("block", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE,
                          File_C::ACCESS_READ_WRITE, File_C::SHARE_NONE));
    ASSERT_TRUE(source.Store(&file));
    for (unsigned long n = 1;; ++n) {
        SCOPED_TRACE(n);
        FailIn(n);
        ResourceDB_C block;
        file.SeekBegin(0);
        bool loaded = block.Load(&file);
        if (loaded) {
            ASSERT_EQ(source.entries.size(), block.entries.size());
            for (const auto& entry : source.entries)
                EXPECT_EQ(entry.second.Data(), block[entry.first].Data());
        } else {
            EXPECT_TRUE(block.entries.empty());
        }
        if (!Injected()) {
            EXPECT_TRUE(loaded);
            break;
        }
    }
}

}  // namespace
