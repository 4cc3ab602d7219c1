// gpg's colon listing of a key file, read from any bytes. A listing taken gives one key
// whose fingerprint is the first fingerprint listed, a field of the listing without a
// colon; and undoing gpg's escapes in the user id never makes a control character that
// the listing did not hold as it is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "services/child_process.h"
#include "services/package_checks.h"

namespace {

bool holdsControl(const std::string& text, bool newlineToo) {
    for (unsigned char c : text)
        if ((c < 0x20 && (newlineToo || c != '\n')) || c == 0x7f)
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ProgramOutput output;
    output.waitStatus = 0;
    output.text.assign(reinterpret_cast<const char*>(data), size);
    SigningKey key;
    std::vector<std::string> fingerprints;
    const bool taken = readKeyListing(output, &key, &fingerprints);
    if (taken && (key.fingerprint.empty() || fingerprints.empty() ||
                  key.fingerprint != fingerprints.front()))
        std::abort();
    for (const std::string& fingerprint : fingerprints)
        if (fingerprint.empty() || fingerprint.find(':') != std::string::npos ||
            output.text.find(fingerprint) == std::string::npos)
            std::abort();
    if (!holdsControl(output.text, false) && holdsControl(key.userId, true))
        std::abort();
    return 0;
}
