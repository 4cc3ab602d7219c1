#include "services/child_process.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

// Waits for `pid`; its wait status.
int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

long long monotonicMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Creates the child with fork, for what posix_spawn cannot give it: its address space is
// bounded before the program starts. Between fork and exec only async-signal-safe calls
// run (this process may have other threads). argv[0] is a path, not searched.
bool forkBounded(const std::vector<std::string>& argv, const ProgramRun& how, int writeEnd,
                 const std::vector<Descriptor>& sources, pid_t* pid) {
    if (argv[0].find('/') == std::string::npos)
        return false;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> variables;
    if (how.environment) {
        for (const std::string& variable : *how.environment)
            variables.push_back(const_cast<char*>(variable.c_str()));
        variables.push_back(nullptr);
    }
    char* const* environment = how.environment ? variables.data() : environ;
    const struct rlimit bound = {how.memoryLimit, how.memoryLimit};
    stringUnInit();
    *pid = fork();
    if (*pid == 0) {
        int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
        int discard = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (setrlimit(RLIMIT_AS, &bound) != 0 || input < 0 || discard < 0 ||
            dup2(input, STDIN_FILENO) < 0 || dup2(writeEnd, STDOUT_FILENO) < 0 ||
            dup2(how.errorsToo ? writeEnd : discard, STDERR_FILENO) < 0)
            _exit(127);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (dup2(sources[i].get(), 3 + static_cast<int>(i)) < 0)
                _exit(127);
        }
        execve(args[0], args.data(), environment);
        _exit(127);
    }
    stringInit();
    return *pid > 0;
}

// Starts argv with standard input from /dev/null, standard output (and with
// `how.errorsToo` standard error) into a pipe whose read end goes to `output`, standard
// error otherwise discarded, and `how.passed` as descriptors 3 and up.
bool spawnReading(const std::vector<std::string>& argv, const ProgramRun& how, pid_t* pid,
                  Descriptor* output) {
    if (argv.empty())
        return false;
    Descriptor readEnd, writePipe;
    if (!Descriptor::makePipe(&readEnd, &writePipe))
        return false;
    // Every descriptor the child is given is first moved above the numbers it gets, so
    // that no dup2 of the file actions lands on a source still to come, or is one that
    // keeps close-on-exec because source and target are the same.
    const int above = 3 + static_cast<int>(how.passed.size());
    Descriptor writeEnd(fcntl(writePipe.get(), F_DUPFD_CLOEXEC, above));
    writePipe.reset();
    std::vector<Descriptor> sources;
    for (int fd : how.passed) sources.emplace_back(fcntl(fd, F_DUPFD_CLOEXEC, above));
    bool ready = writeEnd.valid();
    for (const Descriptor& source : sources) ready = ready && source.valid();
    if (!ready)
        return false;

    if (how.memoryLimit > 0) {
        if (!forkBounded(argv, how, writeEnd.get(), sources, pid))
            return false;
        *output = std::move(readEnd);
        return true;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    if (how.errorsToo)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    for (std::size_t i = 0; i < sources.size(); ++i)
        posix_spawn_file_actions_adddup2(&actions, sources[i].get(), 3 + static_cast<int>(i));
    bool started = spawnWithServiceClosed(argv, &actions, pid, how.environment);
    posix_spawn_file_actions_destroy(&actions);
    if (started)
        *output = std::move(readEnd);
    return started;
}

}  // namespace

bool startProgram(const std::vector<std::string>& argv, pid_t* pid) {
    if (argv.empty() || argv[0].empty() || argv[0][0] != '/')
        return false;
    fflush(nullptr);
    return spawnWithServiceClosed(argv, nullptr, pid);
}

ProgramReader::~ProgramReader() {
    finish();
}

ProgramReader::ProgramReader(ProgramReader&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      output_(std::move(other.output_)),
      deadline_(other.deadline_),
      timedOut_(other.timedOut_) {}

ProgramReader& ProgramReader::operator=(ProgramReader&& other) noexcept {
    if (this != &other) {
        finish();
        pid_ = std::exchange(other.pid_, -1);
        output_ = std::move(other.output_);
        deadline_ = other.deadline_;
        timedOut_ = other.timedOut_;
    }
    return *this;
}

bool ProgramReader::start(const std::vector<std::string>& argv, const ProgramRun& how) {
    finish();
    timedOut_ = false;
    deadline_ = how.secondsLimit > 0 ? monotonicMilliseconds() + how.secondsLimit * 1000LL : 0;
    return spawnReading(argv, how, &pid_, &output_);
}

size_t ProgramReader::read(char* buffer, size_t size) {
    while (output_.valid()) {
        if (deadline_ > 0) {
            const long long left = deadline_ - monotonicMilliseconds();
            struct pollfd ready = {output_.get(), POLLIN, 0};
            const int n = left > 0 ? poll(&ready, 1, static_cast<int>(left)) : 0;
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0) {
                // Past its time: killed, and what it said ends here.
                if (pid_ > 0)
                    kill(pid_, SIGKILL);
                timedOut_ = true;
                output_.reset();
                return 0;
            }
        }
        ssize_t n = ::read(output_.get(), buffer, size);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            return 0;
    }
    return 0;
}

int ProgramReader::finishWithStatus() {
    // Closing the pipe first ends a child that is still writing.
    output_.reset();
    if (pid_ <= 0)
        return -1;
    // A bounded program that closed its output but goes on is killed at its time too.
    while (deadline_ > 0 && !timedOut_) {
        int status = 0;
        pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = -1;
            return status;
        }
        if (ended < 0 && errno != EINTR)
            break;
        if (monotonicMilliseconds() >= deadline_) {
            kill(pid_, SIGKILL);
            timedOut_ = true;
            break;
        }
        const struct timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return reap(std::exchange(pid_, -1));
}

int ProgramReader::finish() {
    int status = finishWithStatus();
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ProgramOutput::exitStatus() const {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

bool runProgram(const std::vector<std::string>& argv, const ProgramRun& how,
                ProgramOutput* output) {
    *output = ProgramOutput();
    ProgramReader reader;
    if (!reader.start(argv, how))
        return false;
    char buffer[16 * 1024];
    while (size_t got = reader.read(buffer, sizeof buffer)) {
        const std::size_t room = how.limit - output->text.size();
        output->text.append(buffer, got < room ? got : room);
        if (got > room)
            output->cut = true;
    }
    output->waitStatus = reader.finishWithStatus();
    output->timedOut = reader.timedOut();
    return true;
}

bool FirstLineQuery::start(const std::vector<std::string>& argv) {
    return reader_.start(argv);
}

bool FirstLineQuery::take(std::string* line) {
    line->clear();
    if (!reader_.started())
        return false;
    // The whole first line: with a long name, rpm's "package NAME is not installed" runs
    // past any short fixed buffer, and its tail must still be seen. A program that prints
    // no line end is read to its end.
    const std::size_t LineLimit = 1024 * 1024;
    char buffer[4096];
    bool got = false;
    std::size_t newline = std::string::npos;
    while (newline == std::string::npos && line->size() < LineLimit) {
        size_t n = reader_.read(buffer, sizeof buffer);
        if (n == 0)
            break;
        got = true;
        line->append(buffer, n);
        newline = line->find('\n');
    }
    // A child with more to say meets a closed pipe and ends.
    reader_.finish();
    if (newline != std::string::npos)
        line->resize(newline);
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    return got;
}

bool firstOutputLine(const std::vector<std::string>& argv, std::string* line) {
    FirstLineQuery query;
    query.start(argv);
    return query.take(line);
}

namespace {

// A watched command, from its start to its end: the user data of its two sources.
struct Watched {
    WatchedCommand watch;
    Descriptor output;  // read end of the pipe
    guint sourceId = 0;
    GPid pid = 0;
};

const size_t ReadChunk = 64 * 1024;

void stopReading(Watched& watched) {
    if (watched.sourceId) {
        g_source_remove(watched.sourceId);
        watched.sourceId = 0;
    }
    watched.output.reset();
}

// Reads what is there now. Returns false at the end of the stream or on an error.
bool readAvailable(Watched& watched, size_t limit) {
    char buffer[ReadChunk];
    size_t total = 0;
    while (total < limit) {
        size_t wanted = limit - total < sizeof buffer ? limit - total : sizeof buffer;
        ssize_t n = read(watched.output.get(), buffer, wanted);
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

// Reads what the command has written so far (at most perTurn) and passes it on.
gboolean onOutputReady(gint, GIOCondition, gpointer data) {
    Watched& watched = *static_cast<Watched*>(data);
    if (!watched.output.valid())
        return G_SOURCE_REMOVE;
    if (readAvailable(watched, watched.watch.perTurn))
        return G_SOURCE_CONTINUE;
    // The source goes with this return; stopReading must not remove it again.
    watched.sourceId = 0;
    stopReading(watched);
    return G_SOURCE_REMOVE;
}

void onExited(GPid pid, gint status, gpointer data) {
    std::unique_ptr<Watched> watched(static_cast<Watched*>(data));
    g_spawn_close_pid(pid);
    // Everything the command wrote is in the pipe now.
    if (watched->output.valid())
        readAvailable(*watched, watched->watch.afterExit);
    stopReading(*watched);
    if (watched->watch.exited)
        watched->watch.exited(status);
}

bool startWatched(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                  const WatchedCommand& watch) {
    Descriptor readEnd, writeEnd;
    if (!Descriptor::makePipe(&readEnd, &writeEnd))
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    if (environment)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = 0;
    fflush(nullptr);
    bool started = spawnWithServiceClosed(argv, &actions, &pid, environment);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (!started)
        return false;
    fcntl(readEnd.get(), F_SETFL, fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);
    // Freed when the command has ended (onExited).
    auto* watched = new Watched;
    watched->watch = watch;
    watched->output = std::move(readEnd);
    watched->pid = pid;
    watched->sourceId = g_unix_fd_add_full(watch.priority, watched->output.get(),
                                           static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                           onOutputReady, watched, nullptr);
    g_child_watch_add(pid, onExited, watched);
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
