#include "services/child_process.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "services/descriptor.h"
#include "services/string_service.h"

extern char** environ;

namespace {

// Creates the child with the string service closed around it; argv[0] is searched in
// this process's PATH. With `environment` the child gets that environment, else this
// process's own.
bool spawnWithServiceClosed(const std::vector<std::string>& argv,
                            posix_spawn_file_actions_t* actions, pid_t* pid,
                            const std::vector<std::string>* environment = nullptr) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> variables;
    if (environment) {
        for (const std::string& variable : *environment)
            variables.push_back(const_cast<char*>(variable.c_str()));
        variables.push_back(nullptr);
    }
    stringUnInit();
    int rc = posix_spawnp(pid, args[0], actions, nullptr, args.data(),
                          environment ? variables.data() : environ);
    stringInit();
    return rc == 0;
}

void reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Starts argv with standard input from /dev/null, standard output into a pipe whose
// read end goes to `fd`, and standard error discarded.
bool spawnReading(const std::vector<std::string>& argv, pid_t* pid, int* fd) {
    if (argv.empty())
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    bool started = spawnWithServiceClosed(argv, &actions, pid);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (!started) {
        close(fds[0]);
        return false;
    }
    *fd = fds[0];
    return true;
}

}  // namespace

bool startProgram(const std::vector<std::string>& argv, pid_t* pid) {
    if (argv.empty() || argv[0].empty() || argv[0][0] != '/')
        return false;
    fflush(nullptr);
    return spawnWithServiceClosed(argv, nullptr, pid);
}

bool firstOutputLine(const std::vector<std::string>& argv, std::string* line) {
    FirstLineQuery query;
    query.start(argv);
    return query.take(line);
}

FirstLineQuery::~FirstLineQuery() {
    finish();
}

FirstLineQuery::FirstLineQuery(FirstLineQuery&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), fd_(std::exchange(other.fd_, -1)) {}

FirstLineQuery& FirstLineQuery::operator=(FirstLineQuery&& other) noexcept {
    if (this != &other) {
        finish();
        pid_ = std::exchange(other.pid_, -1);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool FirstLineQuery::start(const std::vector<std::string>& argv) {
    finish();
    return spawnReading(argv, &pid_, &fd_);
}

bool FirstLineQuery::take(std::string* line) {
    line->clear();
    if (fd_ < 0)
        return false;
    const int fd = std::exchange(fd_, -1);
    FILE* output = fdopen(fd, "r");
    bool got = false;
    if (!output) {
        close(fd);
    } else {
        // The whole first line: with a long name, rpm's "package NAME is not installed"
        // runs past any short fixed buffer, and its tail must still be seen.
        char* text = nullptr;
        size_t capacity = 0;
        got = getline(&text, &capacity, output) > 0;
        // A child with more to say meets a closed pipe and ends.
        fclose(output);
        if (got)
            line->assign(text);
        free(text);
    }
    finish();
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    return got;
}

void FirstLineQuery::finish() {
    // Closing the pipe first ends a child that is still writing.
    if (fd_ >= 0)
        close(std::exchange(fd_, -1));
    if (pid_ > 0)
        reap(std::exchange(pid_, -1));
}

ProgramReader::~ProgramReader() {
    finish();
}

bool ProgramReader::start(const std::vector<std::string>& argv) {
    finish();
    return spawnReading(argv, &pid_, &fd_);
}

size_t ProgramReader::read(char* buffer, size_t size) {
    while (fd_ >= 0) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
    return 0;
}

int ProgramReader::finish() {
    if (fd_ >= 0)
        close(std::exchange(fd_, -1));
    if (pid_ <= 0)
        return -1;
    int status = 0;
    pid_t pid = std::exchange(pid_, -1);
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int programOutput(const std::vector<std::string>& argv, size_t limit, std::string* output) {
    output->clear();
    ProgramReader reader;
    if (!reader.start(argv))
        return -1;
    char buffer[16 * 1024];
    while (size_t n = reader.read(buffer, sizeof buffer)) {
        if (output->size() < limit)
            output->append(buffer, std::min(n, limit - output->size()));
    }
    return reader.finish();
}

namespace {

// Reads `fd` to its end, keeping the first `limit` bytes.
void readToEnd(int fd, std::size_t limit, ProgramOutput* output) {
    char buffer[16 * 1024];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const std::size_t room = limit - output->text.size();
        const std::size_t got = static_cast<std::size_t>(n);
        output->text.append(buffer, got < room ? got : room);
        if (got > room)
            output->cut = true;
    }
}

}  // namespace

bool runProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                const std::vector<int>& passed, std::size_t limit, ProgramOutput* output) {
    *output = ProgramOutput();
    if (argv.empty())
        return false;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    Descriptor readEnd(fds[0]);
    // Every descriptor the child is given is first moved above the numbers it gets, so
    // that no dup2 of the file actions lands on a source still to come, or is one that
    // keeps close-on-exec because source and target are the same.
    const int above = 3 + static_cast<int>(passed.size());
    Descriptor writeEnd(fcntl(fds[1], F_DUPFD_CLOEXEC, above));
    close(fds[1]);
    std::vector<Descriptor> sources;
    for (int fd : passed) sources.emplace_back(fcntl(fd, F_DUPFD_CLOEXEC, above));
    bool ready = writeEnd.valid();
    for (const Descriptor& source : sources) ready = ready && source.valid();
    if (!ready)
        return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    for (std::size_t i = 0; i < sources.size(); ++i)
        posix_spawn_file_actions_adddup2(&actions, sources[i].get(), 3 + static_cast<int>(i));
    pid_t pid = 0;
    bool started = spawnWithServiceClosed(argv, &actions, &pid, environment);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    sources.clear();
    if (!started)
        return false;
    readToEnd(readEnd.get(), limit, output);
    readEnd.reset();
    while (waitpid(pid, &output->waitStatus, 0) < 0 && errno == EINTR) {
    }
    return true;
}

namespace {

// The one watched command of the process.
struct Watched {
    WatchedCommand watch;
    int fd = -1;  // read end of the pipe
    guint sourceId = 0;
    GPid pid = 0;
};

Watched watched;

const size_t ReadChunk = 64 * 1024;

void stopReading() {
    if (watched.sourceId) {
        g_source_remove(watched.sourceId);
        watched.sourceId = 0;
    }
    if (watched.fd >= 0) {
        close(watched.fd);
        watched.fd = -1;
    }
}

// Reads what is there now. Returns false at the end of the stream or on an error.
bool readAvailable(size_t limit) {
    char buffer[ReadChunk];
    size_t total = 0;
    while (total < limit) {
        size_t wanted = limit - total < sizeof buffer ? limit - total : sizeof buffer;
        ssize_t n = read(watched.fd, buffer, wanted);
        if (n > 0) {
            total += static_cast<size_t>(n);
            if (watched.watch.output)
                watched.watch.output(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
    return true;
}

gboolean onOutputReady(gint, GIOCondition, gpointer) {
    readWatchedCommand();
    return watched.fd >= 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void onExited(GPid pid, gint status, gpointer) {
    g_spawn_close_pid(pid);
    // Everything the command wrote is in the pipe now.
    if (watched.fd >= 0)
        readAvailable(watched.watch.afterExit);
    stopReading();
    if (watched.watch.exited)
        watched.watch.exited(status);
}

bool startWatched(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                  const WatchedCommand& watch) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (environment)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    pid_t pid = 0;
    fflush(nullptr);
    bool started = spawnWithServiceClosed(argv, &actions, &pid, environment);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (!started) {
        close(fds[0]);
        return false;
    }
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    watched.watch = watch;
    watched.fd = fds[0];
    watched.pid = pid;
    watched.sourceId = g_unix_fd_add_full(watch.priority, fds[0],
                                          static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                          onOutputReady, nullptr, nullptr);
    g_child_watch_add(pid, onExited, nullptr);
    return true;
}

}  // namespace

bool startWatchedCommand(const std::string& command, const WatchedCommand& watch) {
    return startWatched({"/bin/sh", "-c", command}, nullptr, watch);
}

bool startWatchedProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const WatchedCommand& watch) {
    if (argv.empty() || argv[0].empty() || argv[0][0] != '/')
        return false;
    return startWatched(argv, &environment, watch);
}

void readWatchedCommand() {
    if (watched.fd < 0)
        return;
    if (!readAvailable(watched.watch.perTurn))
        stopReading();
}
