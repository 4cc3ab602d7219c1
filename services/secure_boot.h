// Secure Boot: whether the firmware enforces it, and whether the machine trusts a
// certificate (one that signs the driver's modules, from the medium).
//
// The firmware variables are read from efivarfs below the host's root
// (/sys/firmware/efi/efivars/NAME-GUID: four bytes of attributes, then the value).
// mokutil reads the firmware itself, so it is asked only for the running host: for the
// state where the variables cannot be read, and first for a certificate (where its
// answer is one it is known to give; otherwise the lists are read here).
#pragma once

#include <string>

#include "services/host_root.h"

enum SecureBootState {
    SECURE_BOOT_UNKNOWN = 0,     // an EFI host whose variables cannot be read
    SECURE_BOOT_NOT_EFI = 1,     // started without EFI (no /sys/firmware/efi): no Secure Boot
    SECURE_BOOT_OFF = 2,         // SecureBoot 0
    SECURE_BOOT_SETUP_MODE = 3,  // SetupMode 1: no platform key, nothing is enforced
    SECURE_BOOT_ON = 4,  // SecureBoot 1 in user mode: unsigned or untrusted modules do not load
};

int secureBootState(const HostRoot& host);

enum CertificateTrust {
    CERTIFICATE_TRUST_UNKNOWN = 0,
    CERTIFICATE_TRUSTED = 1,  // enrolled: in MokListRT or db (or a kernel key ring)
    CERTIFICATE_NOT_TRUSTED = 2,
    CERTIFICATE_ENROLMENT_PENDING = 3,  // imported (MokNew): enrolled at the next start
};

// Whether the machine trusts the certificate in the file `certificate` (DER, or PEM as
// openssl writes it). mokutil --test-key answers for the running host where it is
// installed; otherwise the certificate is looked for in the lists MokListRT, db and
// MokNew. Unknown when neither can tell (no EFI, no readable list, no certificate).
int certificateTrust(const HostRoot& host, const std::string& certificate);

// Whether the value of an EFI signature list variable (attributes excluded) holds
// `certificate` as the data of one entry. A list whose sizes do not fit ends the search.
bool signatureListHolds(const std::string& value, const std::string& certificate);
