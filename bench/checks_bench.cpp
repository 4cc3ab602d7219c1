// What checking the medium and its packages before an install costs, beside the install
// itself, on the demo medium. Run after the build (and, as root, while no other install
// runs: the install takes the machine's install lock):
//
//     build/bench/checks_bench [build directory] [rounds]
//
// Every round starts from a fresh private rpm database holding only the demo's base
// package (reached through HOME, as the wizard's runs are); the medians are compared.
// The checks, as an install with the medium's key trusted makes them: the medium's digest
// list, rpm -Kv of the packages (the demo key not yet imported, so the medium's key is
// read with gpg and the packages are checked against it in a keyring of their own, in the
// same pass), rpm's test transaction, then the key's import. The install: `stage3 --unattended
// --accept-license --trust-medium-key` (the typical setup; these checks included), and as
// a second yardstick the three packages through `rpm -U --noscripts`, rpm's own work
// without the demo scriptlets' pauses.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "services/medium_manifest.h"
#include "services/package_checks.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool run(const std::string& command) {
    int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string build = argc > 1 ? argv[1] : "build";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    char* absolute = realpath(build.c_str(), nullptr);
    if (!absolute) {
        std::fprintf(stderr, "checks_bench: no build directory %s\n", build.c_str());
        return 1;
    }
    const std::string medium = std::string(absolute) + "/demo-medium";
    const std::string base =
        std::string(absolute) + "/demo-base/quorvel-demo-base-1.0-1.noarch.rpm";
    std::free(absolute);
    const std::string driver = medium + "/holvane-1.2.3-4.noarch.rpm";
    const std::string app = medium + "/quorvel-storman-3.B-2.noarch.rpm";
    const std::string browser = medium + "/quorvel-browser-1.0-1.noarch.rpm";

    char homeTemplate[] = "/tmp/stage3-bench-XXXXXX";
    if (!mkdtemp(homeTemplate))
        return 1;
    const std::string home = homeTemplate;
    const std::string db = home + "/rpmdb";
    run("printf '%%_dbpath %s\\n' " + quote(db) + " >" + quote(home + "/.rpmmacros"));
    run("echo 'rpm alias -U -U --force-debian' >" + quote(home + "/.popt"));
    setenv("HOME", home.c_str(), 1);
    setenv("LANG", "C.UTF-8", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    auto freshDatabase = [&] {
        return run("rm -rf " + quote(db)) && run("rpm --initdb") &&
               run("rpm -U " + quote(base) + " >/dev/null 2>&1");
    };

    std::vector<double> manifestTimes, signatureTimes, transactionTimes, keyTimes, checkTimes;
    std::vector<double> installTimes, rpmTimes;
    bool allWell = true;
    for (int round = 0; round < rounds && allWell; ++round) {
        allWell = freshDatabase();
        MediumCheck medium_check;
        std::vector<PackageCheck> signatures;
        TransactionCheck transaction;
        manifestTimes.push_back(millisecondsOf([&] { medium_check = checkMedium(medium); }));
        signatureTimes.push_back(millisecondsOf([&] {
            signatures = checkPackageSignatures({driver, app, browser}, medium);
        }));
        transactionTimes.push_back(millisecondsOf([&] {
            transaction =
                testTransaction({{driver, {"-U"}}, {browser, {"-U", "--nodeps"}}, {app, {"-U"}}});
        }));
        // The medium's key trusted (its packages verified with it already): imported.
        bool imported = false;
        std::vector<std::string> importLines;
        keyTimes.push_back(millisecondsOf([&] {
            imported = signatures.size() == 3 &&
                       std::all_of(signatures.begin(), signatures.end(),
                                   [](const PackageCheck& c) { return c.keyOnMedium; }) &&
                       importSigningKey(signatures[0].key, &importLines);
        }));
        checkTimes.push_back(manifestTimes.back() + signatureTimes.back() +
                             transactionTimes.back() + keyTimes.back());
        allWell = allWell && medium_check.manifest == ManifestState::Read &&
                  medium_check.acceptable() && transaction.ok() && imported;
        allWell = allWell && freshDatabase();

        installTimes.push_back(millisecondsOf([&] {
            allWell =
                allWell &&
                run("cd " + quote(medium) +
                    " && ./stage3 --unattended --accept-license --trust-medium-key --log " +
                    quote(home + "/install.log." + std::to_string(round)) + " >/dev/null 2>&1");
        }));
        allWell = allWell && freshDatabase();
        rpmTimes.push_back(millisecondsOf([&] {
            allWell = allWell && run("rpm -U --noscripts " + quote(driver) + " " + quote(app) +
                                     " >/dev/null 2>&1 && rpm -U --noscripts --nodeps " +
                                     quote(browser) + " >/dev/null 2>&1");
        }));
    }
    run("rm -rf " + quote(home));
    if (!allWell) {
        std::fprintf(stderr, "checks_bench: a check or an install failed on %s\n", medium.c_str());
        return 1;
    }
    const double checks = median(checkTimes), install = median(installTimes);
    const double rpmOwn = median(rpmTimes);
    std::printf("medium digest list:         %7.1f ms\n", median(manifestTimes));
    std::printf("package signatures (3):     %7.1f ms\n", median(signatureTimes));
    std::printf("test transaction:           %7.1f ms\n", median(transactionTimes));
    std::printf("key import:                 %7.1f ms\n", median(keyTimes));
    std::printf("checks in all:              %7.1f ms (median of %d)\n", checks, rounds);
    std::printf(
        "install, stage3 unattended: %7.1f ms   checks / install: %.3f (aim: at most 0.25)\n",
        install, checks / install);
    std::printf("rpm -U --noscripts alone:   %7.1f ms   checks / rpm:     %.3f\n", rpmOwn,
                checks / rpmOwn);
    return 0;
}
