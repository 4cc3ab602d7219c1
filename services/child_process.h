// Running other programs from the wizard.
//
// The resource database's file is closed while a child is created and loaded again
// right after it, so that no child ever holds it (the string service's close/reload
// around every child); the file is also opened close-on-exec.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "services/descriptor.h"

// How a program is given its streams and its environment, and how much of what it says
// is kept. Its standard input is /dev/null.
struct ProgramRun {
    explicit ProgramRun(std::size_t limit = 64 * 1024) : limit(limit) {}

    // Output kept; the rest is read and dropped, so a talkative program is never held up.
    std::size_t limit;
    // Standard error joins the output; otherwise it is discarded.
    bool errorsToo = false;
    // Replaces this process's environment when given.
    const std::vector<std::string>* environment = nullptr;
    // passed[i] is the program's descriptor i + 3 (its /dev/fd/<i + 3>); nothing else of
    // this process reaches it.
    std::vector<int> passed;
    // Bounds for a program that reads what others made (0: none). Its address space,
    // set in the child before the program starts (argv[0] must then be a path); and its
    // time: a read that waits past it kills the program, and the output ends there.
    std::size_t memoryLimit = 0;
    int secondsLimit = 0;
};

// A program whose output is read by the caller, in pieces: the one way the wizard runs a
// program and reads what it says (runProgram and FirstLineQuery are made of it). A
// reader that goes before the end closes the pipe first, so that a program with more to
// say ends, and waits for it.
class ProgramReader {
  public:
    ProgramReader() = default;
    ~ProgramReader();
    ProgramReader(ProgramReader&& other) noexcept;
    ProgramReader& operator=(ProgramReader&& other) noexcept;
    ProgramReader(const ProgramReader&) = delete;
    ProgramReader& operator=(const ProgramReader&) = delete;

    // Starts argv (argv[0] searched in PATH); `how.limit` is the caller's to keep. False
    // when it could not be started.
    bool start(const std::vector<std::string>& argv, const ProgramRun& how = ProgramRun());
    // Up to `size` bytes; 0 at the end of the output (or on an error, or when nothing was
    // started).
    size_t read(char* buffer, size_t size);
    // Closes the pipe and waits: the program's wait status, or -1 when nothing was started.
    int finishWithStatus();
    // The same as an exit status (0 to 255), or -1 when it was not started or ended by a
    // signal.
    int finish();
    bool started() const { return pid_ > 0; }
    // Whether the program was killed for running past its time.
    bool timedOut() const { return timedOut_; }

  private:
    pid_t pid_ = -1;
    Descriptor output_;
    long long deadline_ = 0;  // CLOCK_MONOTONIC milliseconds; 0 for none
    bool timedOut_ = false;
};

// What a program run to its end said.
struct ProgramOutput {
    int waitStatus = -1;    // -1 while it has not run
    std::string text;       // its output as it came, up to the limit
    bool cut = false;       // it said more than the limit
    bool timedOut = false;  // it was killed for running past its time
    // The exit status (0 to 255); -1 when it ended by a signal or did not run.
    int exitStatus() const;
};

// Runs the program argv[0] (searched in PATH) to its end as `how` says. False when it
// could not be started.
bool runProgram(const std::vector<std::string>& argv, const ProgramRun& how, ProgramOutput* output);

// The first line of a program's standard output, read while other programs run: start()
// starts it (standard error discarded), take() reads its first line and waits for it to
// end. A query whose line is never taken is waited for when it goes, its pipe closed
// first so that a program with more to say ends.
class FirstLineQuery {
  public:
    // False when the program could not be started.
    bool start(const std::vector<std::string>& argv);
    // The line without its newline (and carriage return). False when nothing was started
    // or the program printed nothing. The query is done afterwards.
    bool take(std::string* line);

  private:
    ProgramReader reader_;
};

// Runs argv as a FirstLineQuery and takes its line.
bool firstOutputLine(const std::vector<std::string>& argv, std::string* line);

// Starts the program argv[0] (an absolute path) with this process's environment and
// standard streams, and every descriptor not marked close-on-exec; the caller waits for
// it. False when it cannot be started.
bool startProgram(const std::vector<std::string>& argv, pid_t* pid);

// A command run by /bin/sh whose standard output (the command sends its standard error
// there too if it wants) is read on the GLib main loop: what it writes reaches `output`
// as it comes, a bounded amount per turn of the loop, and its end reaches `exited`
// once, after what it left in the pipe was passed on. One such child at a time.
struct WatchedCommand {
    std::function<void(const char* data, size_t length)> output;
    std::function<void(int waitStatus)> exited;
    // Sources of this priority run before the reads: a window's layout and drawing
    // (GDK's redraw priority is G_PRIORITY_HIGH_IDLE + 20) comes first, so new output
    // never keeps it from catching up with what it already has.
    int priority;
    // Read per turn of the main loop.
    size_t perTurn;
    // Read once the command has ended: all it left in the pipe, but no more than this
    // from a process of its own that keeps writing after it ended.
    size_t afterExit;
};

// Starts `/bin/sh -c command`. False when it cannot be started.
bool startWatchedCommand(const std::string& command, const WatchedCommand& watch);

// Starts the program argv[0] (an absolute path) with `environment` alone; its standard
// error joins its standard output. False when it cannot be started.
bool startWatchedProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const WatchedCommand& watch);
