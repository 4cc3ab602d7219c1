// Identifier and value records, value semantics and byte order.
#include "resdb/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "resdb/memory_file.h"
#include "test_support.h"

namespace {

class Records : public ::testing::Test {
  protected:
    Records() : file(disk) {
        EXPECT_TRUE(file.Open("f", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE,
                              File_C::ACCESS_READ_WRITE, File_C::SHARE_NONE));
    }
    void Rewind() { file.SeekBegin(0); }

    MemoryDisk disk;
    MemoryFile_C file;
};

TEST_F(Records, IdentifiersAreFourLittleEndianBytes) {
    const unsigned int ids[] = {1, 0, 0x12345678, 4294967295u};
    for (unsigned int id : ids) ASSERT_TRUE(ResourceID_C(id).Store(&file));
    EXPECT_EQ(Hex("01 00 00 00 00 00 00 00 78 56 34 12 FF FF FF FF"), disk.files["f"]);
    Rewind();
    for (unsigned int id : ids) {
        ResourceID_C loaded(77);
        ASSERT_TRUE(loaded.Load(&file));
        EXPECT_EQ(id, static_cast<unsigned int>(loaded));
    }
    ResourceID_C atEnd(77);
    EXPECT_FALSE(atEnd.Load(&file));
    EXPECT_EQ(77u, atEnd.id);
}

TEST_F(Records, ValuesKeepEveryByte) {
    const std::string values[] = {"", std::string(300, 'v'), std::string("\0a\0", 3), "abc"};
    for (const std::string& value : values) ASSERT_TRUE(LangRes_C(value).Store(&file));
    EXPECT_EQ(Hex("00 00 00 00 2C 01 00 00"), disk.files["f"].substr(0, 8));
    EXPECT_EQ(4 + (4 + 300) + (4 + 3) + (4 + 3), static_cast<int>(disk.files["f"].size()));
    Rewind();
    for (const std::string& value : values) {
        LangRes_C loaded("previous");
        ASSERT_TRUE(loaded.Load(&file));
        EXPECT_EQ(value, loaded.Data());
    }
}

TEST_F(Records, ValueCutShortLoadsEmptyAndFails) {
    LangRes_C("hello").Store(&file);
    const std::string full = disk.files["f"];
    for (size_t length = 0; length < full.size(); ++length) {
        SCOPED_TRACE(length);
        disk.files["f"] = full.substr(0, length);
        Rewind();
        LangRes_C loaded("previous");
        EXPECT_FALSE(loaded.Load(&file));
        EXPECT_EQ("", loaded.Data());
    }
}

TEST(LangRes, CopiesOwnTheirBytesAndCStringsStopAtNul) {
    LangRes_C original(std::string("x\0y", 3));
    LangRes_C copy(original);
    LangRes_C assigned;
    assigned = original;
    original = "changed";
    EXPECT_EQ(std::string("x\0y", 3), copy.Data());
    EXPECT_EQ(std::string("x\0y", 3), assigned.Data());
    EXPECT_EQ("changed", original.Data());
    original = std::string("ab\0cd", 5).c_str();
    EXPECT_EQ("ab", original.Data());
    original = static_cast<const char*>(nullptr);
    EXPECT_EQ("", original.Data());
}

TEST(ResourceID, OrdersAsUnsignedNumbers) {
    std::map<ResourceID_C, int> ordered;
    ordered[2147483648u] = 1;
    ordered[5] = 2;
    ordered[4294967295u] = 3;
    ordered[0] = 4;
    std::vector<unsigned int> keys;
    for (const auto& entry : ordered) keys.push_back(entry.first);
    EXPECT_EQ((std::vector<unsigned int>{0, 5, 2147483648u, 4294967295u}), keys);
}

TEST(ByteOrder, FileOrderIsLittleEndian) {
    const unsigned char bytes4[4] = {0x01, 0x02, 0x03, 0x04};
    unsigned int raw4;
    std::memcpy(&raw4, bytes4, 4);
    EXPECT_EQ(0x04030201u, ToHostByteOrder(raw4));
    const unsigned char bytes8[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned long long raw8;
    std::memcpy(&raw8, bytes8, 8);
    EXPECT_EQ(0x0807060504030201ull, ToHostByteOrder(raw8));
}

}  // namespace
