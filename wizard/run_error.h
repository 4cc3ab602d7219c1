// What kind of refusal or failure ended a run: one word a script can act on, named the
// same in every JSON output (the `error` object's `kind`) and mapped to one exit status.
#pragma once

enum class ErrorKind {
    None,
    Usage,                  // a bad option, value or answers file (64)
    MediumRefused,          // the medium cannot be used: another account can change it, its
                            // texts, license or package files are missing or unusable (1)
    NothingToInstall,       // no application package on the medium (1)
    AlreadyInstalled,       // this version is installed: --maintain, --repair... (1)
    NewerInstalled,         // a newer version is installed (1)
    NotInstalled,           // a repair, modify or remove without the version installed (1)
    LicenseNotAccepted,     // (3)
    Cancelled,              // the user said no (3)
    CheckRefused,           // the checks before the first package refused (1)
    KeyNotTrusted,          // ... because the medium's key was not trusted (1)
    PackageChanged,         // a package changed after its checks (1)
    Locked,                 // another install was running (4)
    AuthenticationRefused,  // no administrator's authentication: nothing ran (2)
    NoAdministratorTool,    // a normal user's install without pkexec (2)
    InstallFilesUnsafe,     // the install files could not be made safely (2)
    InstallFailed,          // an rpm step failed (2)
};

// The kind's word in the JSON outputs ("already-installed"); empty for None.
const char* errorKindName(ErrorKind kind);
