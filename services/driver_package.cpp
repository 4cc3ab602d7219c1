#include "services/driver_package.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <utility>

#include "services/child_process.h"
#include "services/cpio_archive.h"
#include "services/files.h"
#include "services/module_compression.h"

namespace {

// A payload that unpacks to more than this, or takes rpm2cpio longer, is read no further
// (a compression bomb): the modules not reached by then are not inspected.
const unsigned long long kPayloadLimit = 1ULL * 1024 * 1024 * 1024;
const int kPayloadSeconds = 30;
const size_t kListingLimit = 4 * 1024 * 1024;
const size_t kPathLimit = 4095;

// rpm2cpio's output, as the archive reader reads it.
class PipeSource : public ByteSource {
  public:
    explicit PipeSource(ProgramReader* reader) : reader_(reader) {}
    size_t read(char* buffer, size_t size) override { return reader_->read(buffer, size); }

  private:
    ProgramReader* reader_;
};

bool isOddPart(const std::string& part) {
    if (part.empty() || part == "." || part == "..")
        return true;
    for (unsigned char c : part) {
        if (c < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

std::vector<std::string> pathParts(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// rpm's listing, one "MODE PATH" line per file (MODE in octal); false when a line is
// not of that form, which a name holding a line break would make.
bool parseListing(const std::string& listing,
                  std::vector<std::pair<unsigned long, std::string>>* files) {
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        const std::string line = listing.substr(start, end - start);
        start = end + 1;
        char* rest = nullptr;
        unsigned long mode = std::strtoul(line.c_str(), &rest, 8);
        if (rest == line.c_str() || *rest != ' ' || rest[1] != '/')
            return false;
        files->emplace_back(mode, std::string(rest + 1));
    }
    return true;
}

// The module files of the listing, each with its release; false when one of them is a
// link, no regular file or an odd path.
bool listModules(const std::vector<std::pair<unsigned long, std::string>>& files,
                 std::vector<PackagedModule>* modules) {
    for (const auto& file : files) {
        bool odd = false;
        std::string release = moduleRelease(file.second, &odd);
        if (odd || (!release.empty() && !S_ISREG(file.first)))
            return false;
        if (!release.empty())
            modules->push_back(PackagedModule{file.second, release, false, ModuleInfo()});
    }
    return true;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Takes the listed modules out of the payload into `directory`, within the bounds of
// their number and bytes; each taken one's file there goes into `extracted` under its
// index, and each passed over for a bound gets its reason. DRIVER_PACKAGE_READ, or what
// went wrong.
int extractModules(const HostRoot& host, const std::string& packageFile,
                   const DriverPackageBounds& bounds, std::vector<PackagedModule>* modules,
                   const std::string& directory, std::map<size_t, std::string>* extracted) {
    std::map<std::string, size_t> wanted;
    for (size_t i = 0; i < modules->size(); ++i) wanted.emplace((*modules)[i].path, i);
    const std::string rpm2cpio = host.program("rpm2cpio");
    ProgramReader reader;
    ProgramRun how;
    how.secondsLimit = kPayloadSeconds;
    if (rpm2cpio.empty() || !reader.start({rpm2cpio, packageFile}, how))
        return DRIVER_PACKAGE_UNREADABLE;
    PipeSource source(&reader);
    ArchiveStream stream(&source, kPayloadLimit);
    ArchiveEntry entry;
    unsigned long long taken = 0;
    while (readArchiveEntry(&stream, &entry)) {
        if (entry.name == "/TRAILER!!!") {
            stream.drain();
            return reader.finish() == 0 ? DRIVER_PACKAGE_READ : DRIVER_PACKAGE_UNREADABLE;
        }
        auto module = wanted.find(entry.name);
        if (module != wanted.end() && !S_ISREG(entry.mode))
            return DRIVER_PACKAGE_REFUSED;
        int reason = MODULE_INSPECTED;
        if (module == wanted.end() || entry.size == 0)
            reason = MODULE_NOT_TAKEN;
        else if (entry.size > packedSizeLimit(bounds.moduleSize))
            reason = MODULE_UNPACKS_TOO_LARGE;
        else if (extracted->size() >= bounds.modules)
            reason = MODULE_PAST_COUNT;
        else if (entry.size > bounds.taken - taken)
            reason = MODULE_PAST_TOTAL;
        if (module != wanted.end())
            (*modules)[module->second].inspection = reason;
        const bool take = reason == MODULE_INSPECTED;
        std::string content;
        if (!stream.take(entry.size, take ? &content : nullptr) || !stream.skipPadding(entry.size))
            break;
        if (!take)
            continue;
        taken += entry.size;
        // In a directory of its index: two modules of one name for two kernels never
        // meet, and each keeps its own file name, which modinfo goes by.
        const std::string own = directory + "/" + std::to_string(module->second);
        const std::string file = own + "/" + baseName(entry.name);
        if (mkdir(own.c_str(), 0700) == 0 && writeNewFile(file, content, 0600))
            (*extracted)[module->second] = file;
        else
            (*modules)[module->second].inspection = MODULE_NOT_TAKEN;
    }
    return DRIVER_PACKAGE_UNREADABLE;
}

bool runsWeakModules(const std::string& rpm, const std::string& packageFile) {
    ProgramOutput scripts;
    return runProgram({rpm, "-qp", "--scripts", packageFile}, ProgramRun(kListingLimit),
                      &scripts) &&
           scripts.exitStatus() == 0 && scripts.text.find("weak-modules") != std::string::npos;
}

}  // namespace

std::string moduleRelease(const std::string& path, bool* odd) {
    *odd = false;
    if (path.empty() || path[0] != '/' || moduleFileStem(baseName(path)).empty())
        return std::string();
    std::vector<std::string> parts = pathParts(path);
    for (const std::string& part : parts) {
        if (isOddPart(part))
            *odd = true;
    }
    if (path.size() > kPathLimit)
        *odd = true;
    size_t at = parts.size() > 1 && parts[0] == "usr" ? 1 : 0;
    if (*odd || parts.size() < at + 4 || parts[at] != "lib" || parts[at + 1] != "modules")
        return std::string();
    return parts[at + 2];
}

DriverPackageContents readDriverPackage(const HostRoot& host, const std::string& packageFile,
                                        const DriverPackageBounds& bounds) {
    DriverPackageContents contents;
    const std::string rpm = host.program("rpm");
    // A name beginning with '-' would reach rpm as an option.
    const std::string file = packageFile.compare(0, 1, "/") == 0 ? packageFile : "./" + packageFile;
    ProgramOutput listing;
    std::vector<std::pair<unsigned long, std::string>> files;
    if (rpm.empty() ||
        !runProgram({rpm, "-qp", "--queryformat", "[%{FILEMODES:octal} %{FILENAMES}\n]", file},
                    ProgramRun(kListingLimit), &listing) ||
        listing.exitStatus() != 0 ||
        listing.text.size() == kListingLimit)  // cut: its last line may name another file
        return contents;
    if (!parseListing(listing.text, &files) || !listModules(files, &contents.modules)) {
        contents.modules.clear();
        contents.result = DRIVER_PACKAGE_REFUSED;
        return contents;
    }
    if (contents.modules.empty()) {
        contents.result = DRIVER_PACKAGE_READ;
        return contents;
    }
    // Only a package with modules can link them into other kernels.
    contents.weakModules = runsWeakModules(rpm, file);
    const std::string directory = makePrivateDirectory("/tmp/stage3-driver.XXXXXX");
    if (directory.empty())
        return contents;
    std::map<size_t, std::string> extracted;
    contents.result = extractModules(host, file, bounds, &contents.modules, directory, &extracted);
    // What they unpack to counts against one budget: a package of many small bombs ends
    // as soon as one large one would.
    unsigned long long unpacked = 0;
    for (const auto& taken : extracted) {
        PackagedModule& module = contents.modules[taken.first];
        const unsigned long long left = bounds.unpacked - unpacked;
        if (left == 0) {
            module.inspection = MODULE_PAST_TOTAL;
            continue;
        }
        const size_t limit =
            static_cast<size_t>(std::min<unsigned long long>(bounds.moduleSize, left));
        size_t size = limit;
        module.inspection = inspectModule(host, taken.second, &module.info, limit, &size);
        if (module.inspection == MODULE_UNPACKS_TOO_LARGE && limit < bounds.moduleSize)
            module.inspection = MODULE_PAST_TOTAL;
        module.read = module.inspection == MODULE_INSPECTED;
        unpacked += module.read ? size : limit;
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    // A payload cut short still names its modules, each not inspected; a refused one none.
    if (contents.result == DRIVER_PACKAGE_REFUSED)
        contents.modules.clear();
    return contents;
}
