#include "services/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "services/string_service.h"

extern char** environ;

namespace {

// Creates the child with the string service closed around it.
bool spawnWithServiceClosed(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions,
                            pid_t* pid) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    stringUnInit();
    int rc = posix_spawnp(pid, args[0], actions, nullptr, args.data(), environ);
    stringInit();
    return rc == 0;
}

void reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool firstOutputLine(const std::vector<std::string>& argv, std::string* line) {
    line->clear();
    if (argv.empty()) return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    bool started = spawnWithServiceClosed(argv, &actions, &pid);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (!started) {
        close(fds[0]);
        return false;
    }
    FILE* output = fdopen(fds[0], "r");
    if (!output) {
        close(fds[0]);
        reap(pid);
        return false;
    }
    // The whole first line: with a long name, rpm's "package NAME is not installed"
    // runs past any short fixed buffer, and its tail must still be seen.
    char* text = nullptr;
    size_t capacity = 0;
    bool got = getline(&text, &capacity, output) > 0;
    // A child with more to say meets a closed pipe and ends.
    fclose(output);
    reap(pid);
    if (got) line->assign(text);
    free(text);
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    return got;
}
