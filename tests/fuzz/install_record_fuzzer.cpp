// The install record, read from any bytes. A record read writes out as a record that
// reads back the same, field for field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "wizard/install_record.h"

namespace {

bool same(const InstallRecord& a, const InstallRecord& b) {
    return a.setupType == b.setupType && a.components == b.components &&
           a.applicationVersion == b.applicationVersion && a.driverVersion == b.driverVersion &&
           a.addonVersion == b.addonVersion && a.medium == b.medium &&
           a.manifestDigest == b.manifestDigest && a.time == b.time && a.log == b.log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    InstallRecord record;
    std::string error;
    if (!parseInstallRecord(text, &record, &error)) {
        if (error.empty())
            std::abort();  // a refusal names its reason
        return 0;
    }
    InstallRecord again;
    if (!parseInstallRecord(formatInstallRecord(record), &again, &error) || !same(record, again))
        std::abort();
    return 0;
}
