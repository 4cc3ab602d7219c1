// Helpers shared by the resource database tests.
#ifndef STAGE3_TESTS_RESDB_TEST_SUPPORT_H
#define STAGE3_TESTS_RESDB_TEST_SUPPORT_H

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Bytes from hexadecimal text such as "00 01 2C".
inline std::string Hex(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
    return bytes;
}

// Little-endian encodings used to write database images by hand.
inline std::string U32(unsigned int value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

inline std::string U64(unsigned long long value) {
    return U32(static_cast<unsigned int>(value)) + U32(static_cast<unsigned int>(value >> 32));
}

// A 32-byte language header with variant and sub-variant 0.
inline std::string HeaderBytes(unsigned long long next, unsigned long long block,
                               const char* language, const char* region) {
    std::string codes = std::string(language) + std::string(4 - std::string(language).size(), '\0') +
                        std::string(region) + std::string(4 - std::string(region).size(), '\0');
    return U64(next) + U64(block) + codes + U32(0) + U32(0);
}

inline const std::string kMagicBytes("\0\0\0\1", 4);

// A private temporary directory for one test, removed with its files.
class ScratchDir {
public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/resdb_test_XXXXXX";
        if (mkdtemp(&pattern[0]) != nullptr)
            dir = pattern;
    }
    ~ScratchDir() {
        if (dir.empty())
            return;
        if (DIR* listing = opendir(dir.c_str())) {
            while (dirent* entry = readdir(listing)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..")
                    unlink((dir + "/" + name).c_str());
            }
            closedir(listing);
        }
        rmdir(dir.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool Ok() const { return !dir.empty(); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }

    std::string Read(const std::string& name) const {
        std::string contents;
        if (FILE* file = std::fopen(Path(name).c_str(), "rb")) {
            char buffer[4096];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                contents.append(buffer, got);
            std::fclose(file);
        }
        return contents;
    }
    bool Write(const std::string& name, const std::string& contents) const {
        FILE* file = std::fopen(Path(name).c_str(), "wb");
        if (file == nullptr)
            return false;
        bool ok = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
        return std::fclose(file) == 0 && ok;
    }

private:
    std::string dir;
};

#endif
