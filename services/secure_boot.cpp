#include "services/secure_boot.h"

#include <glib.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>

#include "services/child_process.h"
#include "services/files.h"

namespace {

const char kGlobalGuid[] = "8be4df61-93ca-11d2-aa0d-00e098032b8c";
const char kImageSecurityGuid[] = "d719b2cb-3d3a-4596-a3bc-dad00e67656f";
const char kShimGuid[] = "605dab50-e046-4300-abe6-de71b77de68f";
const size_t kVariableLimit = 1024 * 1024;
const size_t kCertificateLimit = 64 * 1024;
const size_t kAttributesSize = 4;
// EFI_SIGNATURE_LIST: type GUID, then the list's, its header's and each entry's size.
const size_t kListHeaderSize = 28;
const size_t kOwnerSize = 16;  // each entry begins with its owner's GUID

std::string efivarsDirectory(const HostRoot& host) {
    return host.place("/sys/firmware/efi/efivars");
}

// The value of a firmware variable, without its attributes; false when it cannot be read.
bool readVariable(const HostRoot& host, const std::string& name, const char* guid,
                  std::string* value) {
    std::string bytes;
    bool longer = false;
    const std::string path = efivarsDirectory(host) + "/" + name + "-" + guid;
    if (!readRegularFile(path, kVariableLimit, &bytes, &longer) || longer ||
        bytes.size() <= kAttributesSize)
        return false;
    *value = bytes.substr(kAttributesSize);
    return true;
}

uint32_t littleEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

int stateFromMokutil(const HostRoot& host) {
    const std::string mokutil = host.program("mokutil");
    ProgramOutput state;
    if (!host.isRunningHost() || mokutil.empty() ||
        !runProgram({mokutil, "--sb-state"}, ProgramRun(4096), &state) || state.exitStatus() != 0)
        return SECURE_BOOT_UNKNOWN;
    const std::string& output = state.text;
    if (output.find("Setup Mode") != std::string::npos)
        return SECURE_BOOT_SETUP_MODE;
    if (output.find("SecureBoot enabled") != std::string::npos)
        return SECURE_BOOT_ON;
    if (output.find("SecureBoot disabled") != std::string::npos)
        return SECURE_BOOT_OFF;
    return SECURE_BOOT_UNKNOWN;
}

int trustFromMokutil(const HostRoot& host, const std::string& certificate) {
    const std::string mokutil = host.program("mokutil");
    if (!host.isRunningHost() || mokutil.empty())
        return CERTIFICATE_TRUST_UNKNOWN;
    ProgramOutput test;
    runProgram({mokutil, "--test-key", certificate}, ProgramRun(4096), &test);
    const std::string& output = test.text;
    if (output.find("already in the enrollment request") != std::string::npos)
        return CERTIFICATE_ENROLMENT_PENDING;
    if (output.find("already enrolled") != std::string::npos)
        return CERTIFICATE_TRUSTED;
    if (output.find("not enrolled") != std::string::npos)
        return CERTIFICATE_NOT_TRUSTED;
    return CERTIFICATE_TRUST_UNKNOWN;
}

// The certificate's DER bytes: the file as it is, or the base64 between PEM's lines.
bool readCertificate(const std::string& path, std::string* der) {
    std::string bytes;
    bool longer = false;
    if (!readRegularFile(path, kCertificateLimit, &bytes, &longer) || longer || bytes.empty())
        return false;
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    size_t start = bytes.find(begin);
    if (start == std::string::npos) {
        *der = bytes;
        return true;
    }
    start += begin.size();
    size_t end = bytes.find("-----END CERTIFICATE-----", start);
    if (end == std::string::npos)
        return false;
    gsize size = 0;
    std::unique_ptr<guchar, decltype(&g_free)> decoded(
        g_base64_decode(bytes.substr(start, end - start).c_str(), &size), g_free);
    if (!decoded || size == 0)
        return false;
    der->assign(reinterpret_cast<const char*>(decoded.get()), size);
    return true;
}

}  // namespace

bool signatureListHolds(const std::string& value, const std::string& certificate) {
    size_t at = 0;
    while (value.size() - at >= kListHeaderSize) {
        const uint64_t listSize = littleEndian32(value, at + 16);
        const uint64_t headerSize = littleEndian32(value, at + 20);
        const uint64_t entrySize = littleEndian32(value, at + 24);
        if (listSize > value.size() - at || entrySize <= kOwnerSize ||
            kListHeaderSize + headerSize > listSize)
            return false;
        for (uint64_t entry = at + kListHeaderSize + headerSize; entry + entrySize <= at + listSize;
             entry += entrySize) {
            if (entrySize - kOwnerSize == certificate.size() &&
                value.compare(entry + kOwnerSize, certificate.size(), certificate) == 0)
                return true;
        }
        at += listSize;
    }
    return false;
}

int secureBootState(const HostRoot& host) {
    struct stat info;
    if (stat(host.place("/sys/firmware/efi").c_str(), &info) != 0)
        return SECURE_BOOT_NOT_EFI;
    std::string secureBoot, setupMode;
    if (!readVariable(host, "SecureBoot", kGlobalGuid, &secureBoot))
        return stateFromMokutil(host);
    if (readVariable(host, "SetupMode", kGlobalGuid, &setupMode) && setupMode[0] == 1)
        return SECURE_BOOT_SETUP_MODE;
    return secureBoot[0] == 1 ? SECURE_BOOT_ON : SECURE_BOOT_OFF;
}

int certificateTrust(const HostRoot& host, const std::string& certificate) {
    int trust = trustFromMokutil(host, certificate);
    std::string der;
    if (trust != CERTIFICATE_TRUST_UNKNOWN || !readCertificate(certificate, &der))
        return trust;
    std::string list;
    bool anyList = false;
    for (const auto& enrolled :
         {std::make_pair("MokListRT", kShimGuid), std::make_pair("db", kImageSecurityGuid)}) {
        if (!readVariable(host, enrolled.first, enrolled.second, &list))
            continue;
        anyList = true;
        if (signatureListHolds(list, der))
            return CERTIFICATE_TRUSTED;
    }
    if (readVariable(host, "MokNew", kShimGuid, &list) && signatureListHolds(list, der))
        return CERTIFICATE_ENROLMENT_PENDING;
    return anyList ? CERTIFICATE_NOT_TRUSTED : CERTIFICATE_TRUST_UNKNOWN;
}
