// rpm's checks of the packages before an install, through the real rpm and a private
// database: digests and signatures (with a key made by the build's demo key script, the
// medium's copy of it read by gpg, and its import), and the test transaction.
#include "services/package_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "tests/services/test_support.h"
#include "tests/support/rpm_sandbox.h"

namespace {

namespace fs = std::filesystem;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Spoils the package's header signature (the last byte of the RSA signature tag of its
// signature header) and nothing else, so that only the signature fails to verify.
void spoilSignature(const std::string& path) {
    std::string bytes = readFile(path);
    auto number = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    const std::size_t header = 96;  // after the lead
    const std::uint32_t entries = number(header + 8);
    const std::size_t store = header + 16 + 16 * entries;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t index = header + 16 + 16 * i;
        if (number(index) == 268) {  // RPMSIGTAG_RSA
            bytes[store + number(index + 8) + number(index + 12) - 1] ^= 0x5a;
            writeFile(path, bytes);
            return;
        }
    }
    ADD_FAILURE() << "no RSA header signature in " << path;
}

TEST(PackageChecks, DigestsAndSignaturesThroughRpm) {
    RpmSandbox rpm;
    const std::string medium = rpm.medium();
    const std::string home = rpm.root() + "/gnupg";
    const std::string script = std::string(STAGE3_SOURCE_DIR) + "/medium/demo_key.sh";
    const std::string q = " ";
    ASSERT_EQ(RpmSandbox::run(RpmSandbox::quote(script) + " make gpg " + RpmSandbox::quote(home) +
                              q + RpmSandbox::quote(medium + "/RPM-GPG-KEY-test")),
              0);
    const std::string fingerprintFile = rpm.root() + "/fingerprint";
    ASSERT_EQ(RpmSandbox::run(
                  "gpg --homedir " + RpmSandbox::quote(home) +
                  " --with-colons --list-keys 2>/dev/null | awk -F: '/^fpr/ {print $10; exit}' >" +
                  RpmSandbox::quote(fingerprintFile)),
              0);
    std::string fingerprint = readFile(fingerprintFile);
    fingerprint.erase(fingerprint.find_last_not_of('\n') + 1);
    ASSERT_EQ(fingerprint.size(), 40u);

    const std::string plain = rpm.package("signed", "1.0", "1");
    const std::string signedPackage = medium + "/signed-1.0-1.noarch.rpm";
    ASSERT_EQ(RpmSandbox::run(RpmSandbox::quote(script) + " sign gpg " + RpmSandbox::quote(home) +
                              q + RpmSandbox::quote(plain) + q + RpmSandbox::quote(signedPackage)),
              0);
    const std::string bytes = readFile(signedPackage);
    writeFile(medium + "/truncated.rpm", bytes.substr(0, bytes.size() / 2));
    fs::copy_file(signedPackage, medium + "/spoiled.rpm");
    spoilSignature(medium + "/spoiled.rpm");
    fs::copy_file(plain, medium + "/unsigned.rpm");
    ASSERT_EQ(mkfifo((medium + "/fifo.rpm").c_str(), 0644), 0);

    struct Case {
        std::string path;
        // rpm's keyring without the medium's key, the packages tried with it all the same
        SignatureState withoutKey;
        SignatureState withKey;  // after the key's import
    };
    const Case cases[] = {
        {signedPackage, SignatureState::UnknownKey, SignatureState::Ok},
        {medium + "/unsigned.rpm", SignatureState::Unsigned, SignatureState::Unsigned},
        {medium + "/truncated.rpm", SignatureState::Damaged, SignatureState::Damaged},
        {medium + "/spoiled.rpm", SignatureState::BadSignature, SignatureState::BadSignature},
        {medium + "/fifo.rpm", SignatureState::NotRegular, SignatureState::NotRegular},
        {medium + "/missing.rpm", SignatureState::NotRegular, SignatureState::NotRegular},
    };
    std::vector<std::string> paths;
    for (const Case& c : cases) paths.push_back(c.path);

    std::vector<PackageCheck> checks = checkPackageSignatures(paths, medium);
    ASSERT_EQ(checks.size(), paths.size());
    for (std::size_t i = 0; i < checks.size(); ++i) {
        const PackageCheck& check = checks[i];
        SCOPED_TRACE(check.path + "\n" + joined(check.rpmLines));
        EXPECT_EQ(check.state, cases[i].withoutKey);
        if (check.state == SignatureState::UnknownKey) {
            std::string id = check.keyId;
            std::transform(id.begin(), id.end(), id.begin(), ::toupper);
            EXPECT_GE(id.size(), 8u);
            EXPECT_EQ(fingerprint.substr(fingerprint.size() - std::min(id.size(), 40ul)), id);
            EXPECT_TRUE(check.keyOnMedium);
            EXPECT_EQ(check.key.fingerprint, fingerprint);
            EXPECT_EQ(check.key.userId,
                      "Quorvel Demo Signing Key (stage3 demo medium) "
                      "<demo-signing@quorvel.invalid>");
            EXPECT_EQ(check.key.file, medium + "/RPM-GPG-KEY-test");
        }
        if (check.state == SignatureState::Damaged) {
            // rpm's words, naming the package by its path.
            EXPECT_NE(joined(check.rpmLines).find(check.path), std::string::npos);
            EXPECT_EQ(joined(check.rpmLines).find("/dev/fd/"), std::string::npos);
        }
    }

    // Against the medium's key in a keyring of their own: the verdicts of after the import,
    // with rpm's keyring still without the key.
    std::vector<PackageCheck> withKey;
    std::vector<std::string> lines;
    ASSERT_TRUE(checkAgainstKeys(paths, {}, {checks[0].key}, &withKey, &lines)) << joined(lines);
    ASSERT_EQ(withKey.size(), paths.size());
    for (std::size_t i = 0; i < withKey.size(); ++i) {
        SCOPED_TRACE(withKey[i].path + "\n" + joined(withKey[i].rpmLines));
        EXPECT_EQ(withKey[i].state, cases[i].withKey);
    }
    EXPECT_EQ(checkPackageSignatures({signedPackage}, medium)[0].state, SignatureState::UnknownKey);

    ASSERT_TRUE(importSigningKey(checks[0].key, &lines)) << joined(lines);
    checks = checkPackageSignatures(paths, medium);
    ASSERT_EQ(checks.size(), paths.size());
    for (std::size_t i = 0; i < checks.size(); ++i) {
        SCOPED_TRACE(checks[i].path + "\n" + joined(checks[i].rpmLines));
        EXPECT_EQ(checks[i].state, cases[i].withKey);
        if (checks[i].state == SignatureState::BadSignature) {
            EXPECT_NE(joined(checks[i].rpmLines).find("BAD"), std::string::npos);
        }
    }
}

TEST(PackageChecks, TestTransactionThroughRpm) {
    struct Package {
        const char* name;
        const char* version;
        const char* needs;
        std::vector<std::string> options;
    };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> installed;  // name, version
        std::vector<Package> packages;
        bool ok;
        std::size_t runs;     // in the result
        std::size_t rpmRuns;  // of rpm --test
        const char* said;     // in rpm's lines
    };
    const std::vector<std::string> plain = {"-Uv"}, nodeps = {"-Uv", "--nodeps"};
    const Case cases[] = {
        {"ok, the second needing the first",
         {},
         {{"first", "1.0", "", plain}, {"second", "1.0", "first", plain}},
         true,
         1,
         1,
         ""},
        // Tried as one run with dependencies checked first; that fails, so each set runs.
        {"options per package",
         {},
         {{"first", "1.0", "", plain}, {"needy", "1.0", "absent-capability", nodeps}},
         true,
         2,
         3,
         ""},
        {"--nodeps not needed with the others",
         {},
         {{"second", "1.0", "first", nodeps}, {"first", "1.0", "", plain}},
         true,
         1,
         1,
         ""},
        {"missing dependency",
         {},
         {{"first", "1.0", "", plain}, {"needy", "1.0", "absent-capability", plain}},
         false,
         1,
         1,
         "absent-capability"},
        {"newer installed",
         {{"first", "2.0"}},
         {{"first", "1.0", "", plain}},
         false,
         1,
         1,
         "first-2.0-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RpmSandbox rpm;
        for (const auto& package : c.installed) rpm.install(package.first, package.second, "1");
        std::vector<TransactionPackage> packages;
        for (const Package& p : c.packages)
            packages.push_back({rpm.package(p.name, p.version, "1", p.needs), p.options});
        const TransactionCheck check = testTransaction(packages);
        std::string said;
        for (const TransactionRun& run : check.runs) said += joined(run.lines);
        SCOPED_TRACE(said);
        EXPECT_EQ(check.ok(), c.ok);
        EXPECT_EQ(check.runs.size(), c.runs);
        const auto runs = rpm.rpmRuns();
        EXPECT_EQ(std::count_if(runs.begin(), runs.end(),
                                [](const std::vector<std::string>& run) {
                                    return std::find(run.begin(), run.end(), "--test") != run.end();
                                }),
                  static_cast<long>(c.rpmRuns));
        EXPECT_NE(said.find(c.said), std::string::npos);
        EXPECT_EQ(rpm.installed().size(), c.installed.size()) << "the test installed something";
    }

    // A package that is no regular file is not handed to rpm at all.
    RpmSandbox rpm;
    ASSERT_EQ(mkfifo((rpm.medium() + "/fifo.rpm").c_str(), 0644), 0);
    const TransactionCheck check = testTransaction({{rpm.medium() + "/fifo.rpm", {"-Uv"}}});
    EXPECT_FALSE(check.ok());
    EXPECT_EQ(check.unopened, std::vector<std::string>{rpm.medium() + "/fifo.rpm"});
    EXPECT_TRUE(rpm.rpmRuns().empty());
}

}  // namespace
