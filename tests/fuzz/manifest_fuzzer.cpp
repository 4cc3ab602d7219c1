// The medium's digest list, read from any bytes. Whatever it holds, an entry taken from it
// names a file beneath the medium's root (relative, no "..", no empty component, no
// control character), once, with 64 lower-case hex digits; and no line is both taken and
// refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "services/medium_manifest.h"

namespace {

bool beneathRoot(const std::string& path) {
    if (path.empty() || path[0] == '/' || path.back() == '/')
        return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == 0x7f)
            return false;
    const std::string wrapped = "/" + path + "/";
    return wrapped.find("/../") == std::string::npos && wrapped.find("/./") == std::string::npos &&
           wrapped.find("//") == std::string::npos;
}

bool digestForm(const std::string& digest) {
    if (digest.size() != 64)
        return false;
    for (char c : digest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ParsedManifest parsed = parseManifest(text);
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n')
        ++lines;
    if (parsed.entries.size() + parsed.errors.size() > lines)
        std::abort();
    std::set<std::string> paths;
    for (const ManifestEntry& entry : parsed.entries)
        if (!beneathRoot(entry.path) || !digestForm(entry.digest) ||
            !paths.insert(entry.path).second)
            std::abort();
    for (const ManifestLineError& error : parsed.errors)
        if (error.line == 0 || error.line > lines)
            std::abort();
    return 0;
}
