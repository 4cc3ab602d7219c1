#include "wizard/run_history.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "services/descriptor.h"
#include "services/files.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_log.h"
#include "wizard/install_session.h"
#include "wizard/maintenance.h"
#include "wizard/text_ids.h"

namespace {

// A history of HistoryLimit runs is far below this; more is no history of ours.
const std::size_t HistoryBytesLimit = 8 * 1024 * 1024;
const std::size_t LineLimit = 8 * 1024;

// The string members of a line, in their order; "exit_status" follows "result".
std::vector<std::pair<const char*, std::string RunEntry::*>> stringMembers() {
    return {{"time", &RunEntry::time},
            {"action", &RunEntry::action},
            {"package", &RunEntry::package},
            {"application_before", &RunEntry::applicationBefore},
            {"application_after", &RunEntry::applicationAfter},
            {"driver_before", &RunEntry::driverBefore},
            {"driver_after", &RunEntry::driverAfter},
            {"addon_before", &RunEntry::addonBefore},
            {"addon_after", &RunEntry::addonAfter},
            {"result", &RunEntry::result},
            {"log", &RunEntry::log}};
}

std::string jsonString(const std::string& value) {
    std::string s = "\"";
    for (unsigned char c : value) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            s += escaped;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s + "\"";
}

// Reads a JSON string at `*at` (its opening quote); false when it is none. Only the
// escapes formatRunEntry writes, and the short ones, are taken.
bool readJsonString(const std::string& text, size_t* at, std::string* value) {
    size_t i = *at;
    if (i >= text.size() || text[i] != '"')
        return false;
    value->clear();
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *at = i + 1;
            return true;
        }
        if (c != '\\') {
            *value += c;
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
            case '"':
            case '\\':
            case '/':
                *value += text[i];
                break;
            case 'n':
                *value += '\n';
                break;
            case 't':
                *value += '\t';
                break;
            case 'u': {
                if (i + 4 >= text.size())
                    return false;
                unsigned code = 0;
                for (int k = 1; k <= 4; ++k) {
                    int digit = g_ascii_xdigit_value(text[i + k]);
                    if (digit < 0)
                        return false;
                    code = code * 16 + digit;
                }
                if (code >= 0x80)
                    return false;
                *value += static_cast<char>(code);
                i += 4;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

// The records' directory, opened (never through a link) when it is safe to trust.
Descriptor trustedDirectory(const std::string& directory, std::string* error) {
    Descriptor fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!fd.valid() || fstat(fd.get(), &info) != 0) {
        *error = directory + ": " + std::strerror(errno);
        return Descriptor();
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = directory + ": not root's own, or others can write to it";
        errno = EACCES;
        return Descriptor();
    }
    return fd;
}

std::string directoryOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// Reads the history at `path` whole: Missing, Refused (with the reason) or Read.
RecordState readHistoryText(const std::string& path, std::string* text, std::string* error) {
    text->clear();
    Descriptor directory = trustedDirectory(directoryOf(path), error);
    if (!directory.valid())
        return errno == ENOENT ? RecordState::Missing : RecordState::Refused;
    const std::string name = path.substr(path.rfind('/') + 1);
    Descriptor fd(
        openat(directory.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return RecordState::Missing;
        *error = path + ": " + std::strerror(errno);
        return RecordState::Refused;
    }
    struct stat info;
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != 0 ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = fillText(getString(HistoryNotUsedId), {path});
        return RecordState::Refused;
    }
    bool longer = false;
    if (!readRegularFile("/dev/fd/" + std::to_string(fd.get()), HistoryBytesLimit, text, &longer) ||
        longer) {
        *error = path + ": cannot be read, or larger than a history";
        return RecordState::Refused;
    }
    return RecordState::Read;
}

std::vector<std::string> historyLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::string formatRunEntry(const RunEntry& entry) {
    std::string line = "{";
    for (const auto& [name, member] : stringMembers()) {
        if (std::strcmp(name, "log") == 0)
            line += "\"exit_status\":" + std::to_string(entry.exitStatus) + ",";
        line += jsonString(name) + ":" + jsonString(entry.*member) + ",";
    }
    line.back() = '}';
    return line;
}

bool parseRunEntry(const std::string& line, RunEntry* entry) {
    RunEntry parsed;
    bool seen[16] = {};
    bool sawStatus = false;
    const auto members = stringMembers();
    size_t at = 0;
    if (line.size() > LineLimit || line.empty() || line[at++] != '{')
        return false;
    while (at < line.size()) {
        std::string name, value;
        if (!readJsonString(line, &at, &name) || at >= line.size() || line[at++] != ':')
            return false;
        if (name == "exit_status") {
            size_t end = at + (at < line.size() && line[at] == '-');
            while (end < line.size() && g_ascii_isdigit(line[end]) && end - at < 6) ++end;
            if (end == at || line[end - 1] == '-')
                return false;
            parsed.exitStatus = std::stoi(line.substr(at, end - at));
            sawStatus = true;
            at = end;
        } else {
            if (!readJsonString(line, &at, &value))
                return false;
            for (size_t i = 0; i < members.size(); ++i)
                if (name == members[i].first) {
                    parsed.*members[i].second = value;
                    seen[i] = true;
                }
        }
        if (at < line.size() && line[at] == ',') {
            ++at;
            continue;
        }
        if (at + 1 != line.size() || line[at] != '}')
            return false;
        // A run is known by when, what and how it ended; the versions may be empty.
        if (!sawStatus || !seen[0] || !seen[1] || !seen[9] || parsed.time.empty() ||
            parsed.action.empty() || parsed.result.empty())
            return false;
        *entry = parsed;
        return true;
    }
    return false;
}

std::vector<RunEntry> parseRunHistory(const std::string& text, int* skipped) {
    std::vector<RunEntry> entries;
    *skipped = 0;
    for (const std::string& line : historyLines(text)) {
        RunEntry entry;
        if (parseRunEntry(line, &entry))
            entries.push_back(entry);
        else
            ++*skipped;
    }
    return entries;
}

std::string appendedRunHistory(const std::string& text, const RunEntry& entry) {
    std::vector<std::string> lines = historyLines(text);
    const size_t keep = std::min(lines.size(), HistoryLimit - 1);
    std::string result;
    for (size_t i = lines.size() - keep; i < lines.size(); ++i) result += lines[i] + "\n";
    return result + formatRunEntry(entry) + "\n";
}

std::string runHistoryPath(const std::string& packageName) {
    std::string record = installRecordPath(packageName);
    if (record.empty())
        return "";
    return record.substr(0, record.size() - 4) + ".history";
}

std::vector<std::string> runHistoryPaths(std::string* directory) {
    *directory = directoryOf(installRecordPath("x"));
    std::vector<std::string> paths;
    DIR* dir = opendir(directory->c_str());
    if (!dir)
        return paths;
    const std::string suffix = ".history";
    while (struct dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name[0] != '.' && name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            paths.push_back(*directory + "/" + name);
    }
    closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

RecordState readRunHistory(const std::string& path, std::vector<RunEntry>* entries, int* skipped,
                           std::string* error) {
    std::string text;
    entries->clear();
    *skipped = 0;
    RecordState state = readHistoryText(path, &text, error);
    if (state == RecordState::Read)
        *entries = parseRunHistory(text, skipped);
    return state;
}

bool appendRunHistory(const std::string& packageName, const RunEntry& entry, std::string* error) {
    const std::string path = runHistoryPath(packageName);
    if (path.empty()) {
        *error = packageName + ": not a package name";
        return false;
    }
    mkdir(directoryOf(path).c_str(), 0755);
    std::string text;
    if (readHistoryText(path, &text, error) == RecordState::Refused)
        return false;
    PlaceOptions options(0644);
    options.durable = true;
    options.error = error;
    return placeFile(path, appendedRunHistory(text, entry), options);
}

void beginRunHistory(InstallRun& run, const std::string& logPath) {
    BegunRun& begun = run.begun;
    const InstalledState state = readInstalledState();
    begun = BegunRun();
    begun.entry.log = logPath;
    begun.entry.time = formatUtcTime(time(nullptr), "%Y-%m-%dT%H:%M:%SZ");
    begun.entry.action = actionName(installAction(run));
    if (installAction(run) == Action::Install && !state.application.empty())
        begun.entry.action = "upgrade";
    begun.entry.package = state.applicationPackage;
    begun.entry.applicationBefore = state.application;
    begun.entry.driverBefore = state.driver;
    begun.entry.addonBefore = state.addon;
    begun.driverPackage = state.driverPackage;
    begun.addonPackage = state.addonPackage;
    begun.open = !begun.entry.package.empty();
}

std::string settleRunHistory(InstallRun& run, const std::string& result, int exitStatus) {
    BegunRun& begun = run.begun;
    if (!begun.open || geteuid() != 0)
        return "";
    begun.open = false;
    RunEntry entry = begun.entry;
    entry.applicationAfter = installedPackageVersion(entry.package);
    entry.driverAfter = installedPackageVersion(begun.driverPackage);
    entry.addonAfter = installedPackageVersion(begun.addonPackage);
    entry.result = result;
    entry.exitStatus = exitStatus;
    std::string error;
    if (appendRunHistory(entry.package, entry, &error))
        return "";
    return fillText(getString(HistoryNotWrittenId), {error});
}

std::string rootSideHistoryText(const InstallRun& run) {
    const BegunRun& begun = run.begun;
    if (!begun.open)
        return "";
    return rootSideHistoryText(begun.entry, begun.driverPackage, begun.addonPackage);
}

std::string rootSideHistoryText(const RunEntry& begun, const std::string& driverPackage,
                                const std::string& addonPackage) {
    const std::string path = runHistoryPath(begun.package);
    if (path.empty())
        return "";
    // The line as root writes it: the versions after the run, the result and the exit
    // status filled in by the shell where the markers stand.
    RunEntry entry = begun;
    entry.applicationAfter =
        "\x01"
        "a";
    entry.driverAfter =
        "\x01"
        "d";
    entry.addonAfter =
        "\x01"
        "o";
    entry.result =
        "\x01"
        "r";
    entry.exitStatus = -99999;
    const std::string line = formatRunEntry(entry);
    const std::pair<std::string, std::string> fills[] = {
        {"\\u0001a", "$(version " + shellQuote(entry.package) + ")"},
        {"\\u0001d", "$(version " + shellQuote(driverPackage) + ")"},
        {"\\u0001o", "$(version " + shellQuote(addonPackage) + ")"},
        {"\\u0001r", "$result"},
        {"-99999", "$runexit"}};
    std::string word;
    size_t start = 0;
    for (const auto& [marker, expression] : fills) {
        size_t at = line.find(marker, start);
        if (at == std::string::npos)
            return "";
        word += shellQuote(line.substr(start, at - start)) + "\"" + expression + "\"";
        start = at + marker.size();
    }
    word += shellQuote(line.substr(start));
    const std::string name = shellQuote(path.substr(path.rfind('/') + 1));
    const std::string notUsed = getString(HistoryNotUsedId);
    const size_t hole = notUsed.find("%s");
    std::string s;
    s += "# The run's line in the history beside the record: the last " +
         std::to_string(HistoryLimit - 1) + " lines kept and\n";
    s += "# this one appended, written beside it and renamed, in the directory checked above.\n";
    s += "version() {\n";
    s += "\trpm -q --qf '%{VERSION}-%{RELEASE}\\n' -- \"$1\" 2> /dev/null |\n";
    s += "\t\tsed -n '1{/^[0-9A-Za-z._+~^-]*$/p;}'\n";
    s += "}\n";
    s +=
        "if [ $status -eq 0 ]; then result=succeeded runexit=0; else result=failed runexit=2; fi\n";
    s += "history=\"$records\"/" + name + "\n";
    s += "(umask 022 && mkdir -p \"$records\") 2> /dev/null\n";
    s += "case \"$(stat -c %u%A \"$records\" 2> /dev/null)\" in\n";
    s += "0d????\"-\"??\"-\"?)\n";
    s += "\tcase \"$(stat -c %u%A \"$history\" 2> /dev/null)\" in\n";
    s += "\t\"\" | 0-????\"-\"??\"-\"?)\n";
    s += "\t\tif [ ! -L \"$records\" ] && new=$(mktemp \"$records\"/.history-XXXXXX); then\n";
    s += "\t\t\t{\n";
    s += "\t\t\t\t[ -f \"$history\" ] && tail -n " + std::to_string(HistoryLimit - 1) +
         " -- \"$history\" | grep -v '^$'\n";
    s += "\t\t\t\tprintf '%s\\n' " + word + "\n";
    s += "\t\t\t} >| \"$new\" && chmod 644 \"$new\" && mv -f -T \"$new\" \"$history\" ||\n";
    s += "\t\t\t\trm -f \"$new\"\n";
    s += "\t\tfi\n";
    s += "\t\t;;\n";
    s += "\t*)\n";
    s += "\t\tprintf '%s\\n' " +
         (hole == std::string::npos ? shellQuote(notUsed)
                                    : shellQuote(notUsed.substr(0, hole)) + "\"$history\"" +
                                          shellQuote(notUsed.substr(hole + 2))) +
         "\n";
    s += "\t\t;;\n";
    s += "\tesac\n";
    s += "\t;;\n";
    s += "esac\n";
    return s;
}
