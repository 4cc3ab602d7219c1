#include "services/admin_run.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "services/child_process.h"

namespace {

// The system's own places of polkit's programs.
std::string systemProgram(const char* name) {
    for (const char* directory : {"/usr/bin/", "/bin/"}) {
        std::string path = std::string(directory) + name;
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return std::string();
}

// The variables pkexec passes on to the program it runs (besides DISPLAY and XAUTHORITY,
// which it keeps only for programs that ask for them).
const char* const KeptVariables[] = {"LANG",     "LANGUAGE",    "LINGUAS",     "LC_COLLATE",
                                     "LC_CTYPE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC",
                                     "LC_TIME",  "LC_ALL",      "TERM",        "COLORTERM"};

bool isKept(const std::string& name) {
    for (const char* kept : KeptVariables)
        if (name == kept)
            return true;
    return false;
}

// What pkexec refuses as the value of a variable it keeps.
bool pkexecAccepts(const std::string& value) {
    return value.find('/') == std::string::npos && value.find('%') == std::string::npos &&
           value.find("..") == std::string::npos;
}

const int RegistrationWaitMs = 5000;

}  // namespace

std::string pkexecPath() {
    return systemProgram("pkexec");
}

std::vector<std::string> pkexecEnvironment(char** environment) {
    std::vector<std::string> result;
    for (char** entry = environment; entry && *entry; ++entry) {
        std::string variable = *entry;
        size_t equals = variable.find('=');
        if (equals == std::string::npos || !isKept(variable.substr(0, equals)) ||
            !pkexecAccepts(variable.substr(equals + 1)))
            continue;
        result.push_back(variable);
    }
    return result;
}

TerminalAgent::~TerminalAgent() {
    stop();
}

bool TerminalAgent::start() {
    stop();
    std::string agent = systemProgram("pkttyagent");
    if (agent.empty())
        return false;
    // The agent closes its end of the pipe once it is registered. That end must stay
    // open in the agent, so it is made without close-on-exec, and closed here at once.
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::string process = std::to_string(getpid());
    std::string notify = std::to_string(fds[1]);
    pid_t pid = 0;
    bool started = startProgram({agent, "--process", process, "--notify-fd", notify}, &pid);
    close(fds[1]);
    if (!started) {
        close(fds[0]);
        return false;
    }
    pid_ = pid;
    // Registered when the pipe is closed and the agent still runs.
    struct pollfd ready = {fds[0], POLLIN, 0};
    int polled;
    while ((polled = poll(&ready, 1, RegistrationWaitMs)) < 0 && errno == EINTR) {
    }
    char byte;
    bool closed = polled > 0 && read(fds[0], &byte, 1) == 0;
    close(fds[0]);
    pid_t ended = waitpid(pid_, nullptr, WNOHANG);
    if (closed && ended == 0)
        return true;
    if (ended == pid_)
        pid_ = -1;
    stop();
    return false;
}

void TerminalAgent::stop() {
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}
