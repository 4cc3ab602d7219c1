// The driver package's archive reader on archives in memory: a well-formed entry is
// read with its data, and a header whose numbers or name are not as the format writes
// them is refused rather than read as another entry.
#include "services/cpio_archive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

class StringSource : public ByteSource {
  public:
    explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t part = std::min(size, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, part);
        at_ += part;
        return part;
    }

  private:
    std::string bytes_;
    std::size_t at_ = 0;
};

std::string hex8(unsigned long value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lX", value);
    return text;
}

std::string padded(std::string bytes) {
    return bytes.append((4 - bytes.size() % 4) % 4, '\0');
}

// One "newc" entry: `name` goes in as it is (its NUL included by the caller), its size
// field is `nameSize` or its length; `sizeField` replaces the data size field.
std::string entry(const std::string& name, const std::string& data,
                  const std::string& sizeField = "", long nameSize = -1) {
    std::string header =
        "070701" + hex8(1) + hex8(0100644) + hex8(0) + hex8(0) + hex8(1) + hex8(0) +
        (sizeField.empty() ? hex8(data.size()) : sizeField) + hex8(0) + hex8(0) + hex8(0) +
        hex8(0) + hex8(nameSize < 0 ? name.size() : static_cast<unsigned long>(nameSize)) + hex8(0);
    return padded(header + name) + padded(data);
}

TEST(CpioArchive, ReadsWellFormedEntriesAndRefusesOddHeaders) {
    const std::string module = std::string("./lib/modules/6.1/a.ko") + '\0';
    const std::string trailer = entry(std::string("TRAILER!!!") + '\0', "");
    struct Case {
        const char* what;
        std::string archive;
        bool read;
    } cases[] = {
        {"well formed", entry(module, "abc") + trailer, true},
        {"name without its NUL", entry("./lib/modules/6.1/a.koX", "abc") + trailer, false},
        {"NUL inside the name",
         entry(std::string("./lib/modules/6.1/a.ko") + '\0' + "x" + '\0', "abc") + trailer, false},
        {"negative size", entry(module, "abc", "-0000001") + trailer, false},
        {"size with a blank", entry(module, "abc", " 0000003") + trailer, false},
        {"size with 0x", entry(module, "abc", "0x000003") + trailer, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StringSource source(c.archive);
        ArchiveStream stream(&source, 1 << 20);
        ArchiveEntry read;
        const bool ok = readArchiveEntry(&stream, &read);
        EXPECT_EQ(ok, c.read);
        if (!ok || !c.read)
            continue;
        std::string data;
        EXPECT_EQ(read.name, "/lib/modules/6.1/a.ko");
        ASSERT_TRUE(stream.take(read.size, &data) && stream.skipPadding(read.size));
        EXPECT_EQ(data, "abc");
        ASSERT_TRUE(readArchiveEntry(&stream, &read));
        EXPECT_EQ(read.name, "/TRAILER!!!");
    }
}

}  // namespace
