#include "services/kernel_module.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "services/child_process.h"
#include "services/files.h"
#include "services/module_compression.h"

namespace {

const size_t kModinfoOutputLimit = 1024 * 1024;
// modinfo maps the module it reads: room for the largest one and the program itself.
const size_t kModinfoMemory = 2 * kModuleSizeLimit + 192 * 1024 * 1024;
const int kModinfoSeconds = 10;
const char kSignatureMagic[] = "~Module signature appended~\n";
// The fixed part before the magic: algorithm, hash, id type, signer and key id lengths,
// three bytes of padding and the signature's length (big-endian).
const size_t kSignatureInfoSize = 12;
const char* const kModuleSuffixes[] = {".ko", ".ko.xz", ".ko.zst", ".ko.gz"};

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Reads ELF fields of either width and byte order, each access checked against the
// object's size.
class ElfReader {
  public:
    explicit ElfReader(const std::string& bytes) : bytes_(bytes) {}

    bool open() {
        if (bytes_.size() < 0x34 || bytes_.compare(0, 4,
                                                   "\x7f"
                                                   "ELF") != 0)
            return false;
        wide_ = bytes_[4] == 2;
        big_ = bytes_[5] == 2;
        return (bytes_[4] == 1 || wide_) && (bytes_[5] == 1 || big_) &&
               (!wide_ || bytes_.size() >= 0x40);
    }
    bool wide() const { return wide_; }

    // An unsigned field of `size` bytes at `offset`; false when it lies outside.
    bool field(uint64_t offset, unsigned size, uint64_t* value) const {
        if (offset > bytes_.size() || bytes_.size() - offset < size)
            return false;
        *value = 0;
        for (unsigned i = 0; i < size; ++i) {
            unsigned index = big_ ? i : size - 1 - i;
            *value = (*value << 8) | static_cast<unsigned char>(bytes_[offset + index]);
        }
        return true;
    }
    // A word or address: 4 bytes in a 32-bit object, 8 in a 64-bit one.
    bool word(uint64_t offset, uint64_t* value) const {
        return field(offset, wide_ ? 8 : 4, value);
    }

    bool within(uint64_t offset, uint64_t size) const {
        return offset <= bytes_.size() && bytes_.size() - offset >= size;
    }

  private:
    const std::string& bytes_;
    bool wide_ = false;
    bool big_ = false;
};

struct Section {
    uint64_t name = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
};

bool readSection(const ElfReader& elf, uint64_t header, Section* section) {
    uint64_t name = 0;
    if (!elf.field(header, 4, &name))
        return false;
    section->name = name;
    return elf.wide() ? elf.word(header + 0x18, &section->offset) &&
                            elf.word(header + 0x20, &section->size)
                      : elf.word(header + 0x10, &section->offset) &&
                            elf.word(header + 0x14, &section->size);
}

// The bytes of the section named `wanted`; false when there is none or the headers do
// not fit the object.
bool findSection(const std::string& bytes, const char* wanted, std::string* content) {
    ElfReader elf(bytes);
    if (!elf.open())
        return false;
    uint64_t tableOffset = 0, entrySize = 0, count = 0, namesIndex = 0;
    const uint64_t sizes = elf.wide() ? 0x3a : 0x2e;  // e_shentsize, e_shnum, e_shstrndx
    if (!elf.word(elf.wide() ? 0x28 : 0x20, &tableOffset) || !elf.field(sizes, 2, &entrySize) ||
        !elf.field(sizes + 2, 2, &count) || !elf.field(sizes + 4, 2, &namesIndex))
        return false;
    if (entrySize < (elf.wide() ? 0x40u : 0x28u) || namesIndex >= count ||
        !elf.within(tableOffset, entrySize * count))
        return false;
    Section names;
    if (!readSection(elf, tableOffset + namesIndex * entrySize, &names) ||
        !elf.within(names.offset, names.size))
        return false;
    const size_t wantedSize = std::strlen(wanted) + 1;
    for (uint64_t i = 0; i < count; ++i) {
        Section section;
        if (!readSection(elf, tableOffset + i * entrySize, &section))
            return false;
        if (section.name >= names.size || names.size - section.name < wantedSize ||
            bytes.compare(names.offset + section.name, wantedSize, wanted, wantedSize) != 0)
            continue;
        if (!elf.within(section.offset, section.size))
            return false;
        content->assign(bytes, section.offset, section.size);
        return true;
    }
    return false;
}

void takeField(const std::string& key, const std::string& value, ModuleInfo* info) {
    std::string* target = key == "name"         ? &info->name
                          : key == "version"    ? &info->version
                          : key == "vermagic"   ? &info->vermagic
                          : key == "srcversion" ? &info->srcversion
                          : key == "signer"     ? &info->signer
                          : key == "sig_key"    ? &info->keyId
                                                : nullptr;
    // The first of a repeated field counts, as for the kernel.
    if (target && target->empty())
        *target = value;
    if (key == "sig_id")
        info->signature = MODULE_SIGNED;
}

bool hasSignatureTrailer(const std::string& bytes) {
    const size_t magicSize = sizeof kSignatureMagic - 1;
    if (bytes.size() < magicSize + kSignatureInfoSize || !endsWith(bytes, kSignatureMagic))
        return false;
    const size_t info = bytes.size() - magicSize - kSignatureInfoSize;
    uint64_t length = 0;
    for (size_t i = 8; i < 12; ++i)
        length = (length << 8) | static_cast<unsigned char>(bytes[info + i]);
    return length > 0 && length <= info;
}

// modinfo's "key:    value" lines; a line that begins with white space continues the
// previous value (the signature's hex lines) and is skipped.
void parseModinfoOutput(const std::string& output, ModuleInfo* info) {
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        size_t colon = line.find(':');
        if (line.empty() || line[0] == ' ' || line[0] == '\t' || colon == std::string::npos)
            continue;
        size_t value = line.find_first_not_of(" \t", colon + 1);
        takeField(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value),
                  info);
    }
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The signer and key of a signed module from modinfo, run on `bytes` (the module
// unpacked) in a file of its own, bounded in memory and time. False when modinfo failed
// or was stopped.
bool askModinfo(const std::string& modinfo, const std::string& stem, const std::string& bytes,
                ModuleInfo* info) {
    const std::string directory = makePrivateDirectory("/tmp/stage3-module.XXXXXX");
    if (directory.empty())
        return false;
    const std::string file = directory + "/" + (stem.empty() ? "module" : stem) + ".ko";
    ProgramOutput output;
    ProgramRun how(kModinfoOutputLimit);
    how.memoryLimit = kModinfoMemory;
    how.secondsLimit = kModinfoSeconds;
    const bool read = writeNewFile(file, bytes, 0600) &&
                      runProgram({modinfo, file}, how, &output) && !output.timedOut &&
                      output.exitStatus() == 0;
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    if (!read)
        return false;
    ModuleInfo asked;
    parseModinfoOutput(output.text, &asked);
    info->signer = asked.signer;
    info->keyId = asked.keyId;
    return true;
}

}  // namespace

bool parseModuleBytes(const std::string& bytes, ModuleInfo* info) {
    std::string section;
    if (!findSection(bytes, ".modinfo", &section))
        return false;
    size_t start = 0;
    while (start < section.size()) {
        size_t end = section.find('\0', start);
        if (end == std::string::npos)
            end = section.size();
        std::string entry = section.substr(start, end - start);
        start = end + 1;
        size_t equals = entry.find('=');
        if (equals != std::string::npos)
            takeField(entry.substr(0, equals), entry.substr(equals + 1), info);
    }
    info->signature = hasSignatureTrailer(bytes) ? MODULE_SIGNED : MODULE_UNSIGNED;
    return true;
}

int inspectModule(const HostRoot& host, const std::string& path, ModuleInfo* info, size_t sizeLimit,
                  size_t* unpacked) {
    *info = ModuleInfo();
    const std::string name = baseName(path);
    std::string packed, bytes;
    bool longer = false;
    if (!readRegularFile(path, packedSizeLimit(sizeLimit), &packed, &longer))
        return MODULE_UNREADABLE;
    if (longer)
        return MODULE_UNPACKS_TOO_LARGE;
    const int result = unpackModule(moduleCompression(name), packed, sizeLimit, &bytes);
    packed.clear();
    packed.shrink_to_fit();
    if (result != MODULE_UNPACKED)
        return result == MODULE_TOO_LARGE ? MODULE_UNPACKS_TOO_LARGE : MODULE_UNREADABLE;
    if (unpacked)
        *unpacked = bytes.size();
    if (!parseModuleBytes(bytes, info)) {
        *info = ModuleInfo();
        return MODULE_UNREADABLE;
    }
    const std::string modinfo = host.program("modinfo");
    if (info->signature == MODULE_SIGNED && !modinfo.empty() &&
        !askModinfo(modinfo, moduleFileStem(name), bytes, info)) {
        *info = ModuleInfo();
        return MODULE_MODINFO_FAILED;
    }
    if (info->name.empty())
        info->name = moduleFileStem(name);
    return MODULE_INSPECTED;
}

bool readModuleInfo(const HostRoot& host, const std::string& path, ModuleInfo* info) {
    return inspectModule(host, path, info) == MODULE_INSPECTED;
}

std::string moduleFileStem(const std::string& fileName) {
    for (const char* suffix : kModuleSuffixes) {
        if (endsWith(fileName, suffix) && fileName.size() > std::strlen(suffix))
            return fileName.substr(0, fileName.size() - std::strlen(suffix));
    }
    return std::string();
}

std::string canonicalModuleName(const std::string& name) {
    std::string canonical = name;
    for (char& c : canonical) {
        if (c == '-')
            c = '_';
    }
    return canonical;
}

std::string vermagicRelease(const std::string& vermagic) {
    size_t start = vermagic.find_first_not_of(' ');
    if (start == std::string::npos)
        return std::string();
    return vermagic.substr(start, vermagic.find(' ', start) - start);
}

bool sameModuleBuild(const ModuleInfo& a, const ModuleInfo& b) {
    return canonicalModuleName(a.name) == canonicalModuleName(b.name) && a.version == b.version &&
           a.srcversion == b.srcversion && a.vermagic == b.vermagic && a.signature == b.signature &&
           a.keyId == b.keyId;
}
