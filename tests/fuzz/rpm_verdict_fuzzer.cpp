// rpm -Kv's output on one package, read from any bytes (the first byte picks whether rpm
// ended well). Whatever rpm wrote, the check is one of the states rpm's lines can give;
// a package is passed (OK or unsigned) only when rpm ended well, with no line against
// it and no key id; the lines kept against a package are lines of the output; a key id
// is kept only for a signature rpm named a problem with.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/child_process.h"
#include "services/package_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    ProgramOutput output;
    output.waitStatus = (data[0] & 1) ? 1 << 8 : 0;  // exit status 1, or 0
    output.text.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    PackageCheck check;
    check.keyId = "stale";
    readRpmVerdicts(output, &check);

    const bool passed =
        check.state == SignatureState::Ok || check.state == SignatureState::Unsigned;
    if (check.state == SignatureState::NotChecked || check.state == SignatureState::NotRegular)
        std::abort();
    if (passed && (output.waitStatus != 0 || !check.rpmLines.empty() || !check.keyId.empty()))
        std::abort();
    if (check.state == SignatureState::Ok && output.text.find(": OK") == std::string::npos)
        std::abort();
    const bool keyed =
        check.state == SignatureState::UnknownKey || check.state == SignatureState::BadSignature;
    if (!keyed && !check.keyId.empty())
        std::abort();
    if (check.state == SignatureState::UnknownKey &&
        output.text.find(": NOKEY") == std::string::npos)
        std::abort();
    for (const std::string& line : check.rpmLines)
        if (line.empty() || line.find('\n') != std::string::npos ||
            output.text.find(line) == std::string::npos)
            std::abort();
    return 0;
}
