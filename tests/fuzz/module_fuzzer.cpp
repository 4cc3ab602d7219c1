// A kernel module's .modinfo section and signature trailer, read from any bytes. A
// module read gives fields cut from its bytes (no NUL in them) and a known signature
// state, signed only with the trailer's magic at its end; and a signature record
// appended to a module read leaves its fields as they were and makes it signed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/kernel_module.h"

namespace {

const std::string kMagic = "~Module signature appended~\n";

bool cutFrom(const std::string& field, const std::string& bytes) {
    return field.find('\0') == std::string::npos && bytes.find(field) != std::string::npos;
}

bool sameFields(const ModuleInfo& a, const ModuleInfo& b) {
    return a.name == b.name && a.version == b.version && a.vermagic == b.vermagic &&
           a.srcversion == b.srcversion && a.signer == b.signer && a.keyId == b.keyId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ModuleInfo info;
    if (!parseModuleBytes(bytes, &info))
        return 0;
    const bool endsWithMagic =
        bytes.size() >= kMagic.size() &&
        bytes.compare(bytes.size() - kMagic.size(), kMagic.size(), kMagic) == 0;
    if ((info.signature == MODULE_SIGNED && !endsWithMagic) ||
        (info.signature != MODULE_SIGNED && info.signature != MODULE_UNSIGNED))
        std::abort();
    for (const std::string* field :
         {&info.name, &info.version, &info.vermagic, &info.srcversion, &info.signer, &info.keyId})
        if (!cutFrom(*field, bytes))
            std::abort();

    // The kernel's layout: the signature, a record naming its length (big-endian, in
    // its last four bytes), then the magic.
    const std::string signature = "\x30\x82 signature";
    std::string record(12, '\0');
    record[2] = 2;
    record[11] = static_cast<char>(signature.size());
    ModuleInfo signedInfo;
    if (!parseModuleBytes(bytes + signature + record + kMagic, &signedInfo) ||
        signedInfo.signature != MODULE_SIGNED || !sameFields(info, signedInfo))
        std::abort();
    return 0;
}
