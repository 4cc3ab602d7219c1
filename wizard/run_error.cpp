#include "wizard/run_error.h"

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::None:
            return "";
        case ErrorKind::Usage:
            return "usage";
        case ErrorKind::MediumRefused:
            return "medium-refused";
        case ErrorKind::NothingToInstall:
            return "nothing-to-install";
        case ErrorKind::AlreadyInstalled:
            return "already-installed";
        case ErrorKind::NewerInstalled:
            return "newer-installed";
        case ErrorKind::NotInstalled:
            return "not-installed";
        case ErrorKind::LicenseNotAccepted:
            return "license-not-accepted";
        case ErrorKind::Cancelled:
            return "cancelled";
        case ErrorKind::CheckRefused:
            return "check-refused";
        case ErrorKind::KeyNotTrusted:
            return "key-not-trusted";
        case ErrorKind::PackageChanged:
            return "package-changed";
        case ErrorKind::Locked:
            return "locked";
        case ErrorKind::AuthenticationRefused:
            return "authentication-refused";
        case ErrorKind::NoAdministratorTool:
            return "administrator-tool-missing";
        case ErrorKind::InstallFilesUnsafe:
            return "install-files-unsafe";
        case ErrorKind::InstallFailed:
            return "install-failed";
    }
    return "";
}
