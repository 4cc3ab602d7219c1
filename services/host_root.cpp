#include "services/host_root.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

HostRoot HostRoot::running() {
    HostRoot host;
    struct utsname names;
    if (uname(&names) == 0)
        host.release = names.release;
    const char* path = std::getenv("PATH");
    host.programPath = std::string(path ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
    return host;
}

std::string HostRoot::place(const std::string& absolute) const {
    if (isRunningHost())
        return absolute;
    std::string base = root;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + absolute;
}

bool HostRoot::isRunningHost() const {
    return root == "/";
}

std::string HostRoot::program(const char* name) const {
    size_t start = 0;
    while (start <= programPath.size()) {
        size_t end = programPath.find(':', start);
        if (end == std::string::npos)
            end = programPath.size();
        std::string dir = programPath.substr(start, end - start);
        start = end + 1;
        // An empty entry or a relative one would name the working directory, which may be
        // a medium or /tmp: never a place to take a program from as root.
        if (dir.empty() || dir[0] != '/')
            continue;
        std::string candidate = dir + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}
