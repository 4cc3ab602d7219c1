// Version texts from package file names and rpm query lines, in both forms.
// The parse must never read past the terminator or trip the sanitizers, and
// the comparison of any two results must be antisymmetric.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/packages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // NUL-terminated copy
    _PackageVersion driver = {0, 0, 0, 0};
    _PackageVersion app = {99, 0, 0, 0};
    versionFromRpmName(text.c_str(), 0, &driver);
    versionFromRpmName(text.c_str(), 1, &app);
    int forward = comparePackageVersions(&driver, &app);
    int backward = comparePackageVersions(&app, &driver);
    if ((forward > 0) != (backward < 0) || (forward == 0) != (backward == 0)) {
        std::abort();
    }
    return 0;
}
