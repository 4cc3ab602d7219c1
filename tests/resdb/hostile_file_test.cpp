// Damaged and hostile files: lengths, counts and header chains that point
// outside the file or back into it must fail without large allocations,
// endless loops or crashes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "resdb/language_db.h"
#include "resdb/memory_file.h"
#include "test_support.h"

// The largest single allocation made while `probing` is set.
namespace {
std::atomic<bool> probing(false);
std::atomic<size_t> largestAllocation(0);

void* allocate(size_t size) {
    if (probing && size > largestAllocation)
        largestAllocation = size;
    return std::malloc(size == 0 ? 1 : size);
}

class AllocationProbe {
  public:
    AllocationProbe() {
        largestAllocation = 0;
        probing = true;
    }
    ~AllocationProbe() { probing = false; }
    size_t Largest() const { return largestAllocation; }
};
}  // namespace

void* operator new(size_t size) {
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

const Language_C kEnUS("en", "US", 0, 0);
const Language_C kFrFR("fr", "FR", 0, 0);
const Language_C kFrCA("fr", "CA", 0, 0);

// One en/US header at 8 with its block at 40.
std::string OneLanguageFile(const std::string& block) {
    return kMagicBytes + U32(1) + HeaderBytes(0, 40, "en", "US") + block;
}

int CodeOf(LanguageDB_C& db, const Language_C& language, unsigned int id) {
    try {
        db.GetResource(language, id);
    } catch (const ResourceError& error) {
        return error.code;
    }
    return 0;
}

TEST(HostileFile, ValueLengthPastTheEndFailsWithoutAllocating) {
    const unsigned int lengths[] = {4, 0x7FFFFFFF, 0xFFFFFFF0, 0xFFFFFFFF};
    ScratchDir dir;
    for (unsigned int length : lengths) {
        SCOPED_TRACE(length);
        ASSERT_TRUE(
            writeFile(dir.file("db"), OneLanguageFile(U32(1) + U32(1) + U32(length) + "abc")));
        LanguageDB_C db;
        ASSERT_TRUE(db.Load(dir.file("db").c_str()));
        AllocationProbe probe;
        EXPECT_EQ(ResourceError::LANGUAGE_NOT_FOUND, CodeOf(db, kEnUS, 1));
        EXPECT_LT(probe.Largest(), 4096u);
    }
    // A length that ends exactly at the end of the file is whole.
    ASSERT_TRUE(writeFile(dir.file("db"), OneLanguageFile(U32(1) + U32(1) + U32(3) + "abc")));
    LanguageDB_C db;
    ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    EXPECT_EQ("abc", db.GetResource(kEnUS, 1).Data());
}

TEST(HostileFile, StandaloneValueLoadMeasuresTheFile) {
    MemoryDisk disk;
    disk.files["v"] = U32(0xFFFFFFF0) + "abc";
    MemoryFile_C file(disk);
    ASSERT_TRUE(file.Open("v", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN, File_C::ACCESS_READ,
                          File_C::SHARE_READ));
    LangRes_C value("old");
    AllocationProbe probe;
    EXPECT_FALSE(value.Load(&file));
    EXPECT_EQ("", value.Data());
    EXPECT_LT(probe.Largest(), 4096u);
}

TEST(HostileFile, RecordCountPastTheEndFailsAtOnce) {
    MemoryDisk disk;
    MemoryFile_C file(disk);
    struct Case {
        unsigned int count;
        bool loads;
    } cases[] = {{2, true}, {3, false}, {0x20000000, false}, {0xFFFFFFFF, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        // Room for exactly two records with empty values.
        disk.files["b"] = U32(c.count) + U32(1) + U32(0) + U32(2) + U32(0);
        ASSERT_TRUE(file.Open("b", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN,
                              File_C::ACCESS_READ, File_C::SHARE_READ));
        ResourceDB_C block;
        block.AddString(99, "kept unless the block fails");
        disk.operations = 0;
        EXPECT_EQ(c.loads, block.Load(&file));
        EXPECT_EQ(c.loads ? 3u : 0u, block.entries.size());
        if (!c.loads) {
            EXPECT_LE(disk.operations, 4u) << "records were read for an impossible count";
        }
    }
}

TEST(HostileFile, HeaderChainReturningToAReadHeaderFailsLoad) {
    const std::string emptyBlock = U32(0);
    struct Case {
        const char* name;
        std::string contents;
        bool loads;
    } cases[] = {
        {"self loop", kMagicBytes + U32(2) + HeaderBytes(8, 40, "en", "US") + emptyBlock, false},
        {"self loop, huge count",
         kMagicBytes + U32(0xFFFFFFFF) + HeaderBytes(8, 40, "en", "US") + emptyBlock, false},
        {"two-header cycle",
         kMagicBytes + U32(3) + HeaderBytes(40, 72, "en", "US") + HeaderBytes(8, 72, "de", "DE") +
             emptyBlock,
         false},
        // Jumping backwards is fine as long as no header is visited twice.
        {"backward jump",
         kMagicBytes + U32(3) + HeaderBytes(72, 104, "en", "US") + HeaderBytes(0, 104, "de", "DE") +
             HeaderBytes(40, 104, "fr", "FR") + emptyBlock,
         true},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(dir.file("db"), c.contents));
        LanguageDB_C db;
        EXPECT_EQ(c.loads, db.Load(dir.file("db").c_str()));
        if (c.loads) {
            EXPECT_EQ(3u, db.headers.size());
        } else {
            EXPECT_EQ(nullptr, db.file_P);
        }
    }
}

TEST(HostileFile, FallbackWalkEndsWhenItReturnsToATriedLanguage) {
    // fr/CA's block lies outside the file; fr/FR lacks identifier 7. Each is
    // the other's closest language.
    const std::string contents = kMagicBytes + U32(2) + HeaderBytes(40, 9999, "fr", "CA") +
                                 HeaderBytes(0, 72, "fr", "FR") + U32(1) + U32(1) + U32(1) + "x";
    ScratchDir dir;
    ASSERT_TRUE(writeFile(dir.file("db"), contents));
    LanguageDB_C db;
    ASSERT_TRUE(db.Load(dir.file("db").c_str()));
    // fr/FR (missing 7) -> fr/CA (unreadable) -> fr/FR again: fr/CA's error.
    EXPECT_EQ(ResourceError::LANGUAGE_NOT_FOUND, CodeOf(db, kFrFR, 7));
    // fr/CA -> fr/FR (missing 7) -> fr/CA again: fr/FR's error.
    EXPECT_EQ(ResourceError::RESOURCE_NOT_FOUND, CodeOf(db, kFrCA, 7));
    EXPECT_EQ("x", db.GetResource(kFrCA, 1).Data());

    // Both readable, both lacking the identifier, en/US holding it: the walk
    // ends inside the fr pair.
    LanguageDB_C stored;
    stored.AddString(kFrFR, 1, "fr");
    stored.AddString(kFrCA, 1, "ca");
    stored.AddString(kEnUS, 7, "en");
    ASSERT_TRUE(stored.Store(dir.file("pair").c_str()));
    EXPECT_EQ(ResourceError::RESOURCE_NOT_FOUND, CodeOf(stored, kFrFR, 7));
    EXPECT_EQ(ResourceError::RESOURCE_NOT_FOUND, CodeOf(stored, kFrCA, 7));
}

}  // namespace
