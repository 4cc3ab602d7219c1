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

// Runs `argv` (argv[0] searched in PATH) with standard input from /dev/null, standard
// error discarded and standard output read up to the end of its first line, then waits
// for it to end. `line` gets that line without its newline. False when the program
// could not be started or printed nothing.
bool firstOutputLine(const std::vector<std::string>& argv, std::string* line);

// The same in two steps, so that several programs can run at once: start() starts
// the program, take() reads its first line and waits for it to end. A query whose
// line is never taken is waited for when it goes, its pipe closed first so that a
// program with more to say ends.
class FirstLineQuery {
  public:
    FirstLineQuery() = default;
    ~FirstLineQuery();
    FirstLineQuery(FirstLineQuery&& other) noexcept;
    FirstLineQuery& operator=(FirstLineQuery&& other) noexcept;
    FirstLineQuery(const FirstLineQuery&) = delete;
    FirstLineQuery& operator=(const FirstLineQuery&) = delete;

    // False when the program could not be started.
    bool start(const std::vector<std::string>& argv);
    // As firstOutputLine; false also when nothing was started. The query is done
    // afterwards.
    bool take(std::string* line);

  private:
    void finish();

    pid_t pid_ = -1;
    int fd_ = -1;  // read end of the pipe from the program's standard output
};

// A program whose whole standard output is read by the caller, in pieces: the host
// probes read listings and archives through it. Standard input is /dev/null and standard
// error is discarded. A reader that goes before the end closes the pipe first, so that
// a program with more to say ends, and waits for it.
class ProgramReader {
  public:
    ProgramReader() = default;
    ~ProgramReader();
    ProgramReader(const ProgramReader&) = delete;
    ProgramReader& operator=(const ProgramReader&) = delete;

    // Starts argv (argv[0] searched in PATH). False when it could not be started.
    bool start(const std::vector<std::string>& argv);
    // Up to `size` bytes; 0 at the end of the output (or on an error, or when nothing
    // was started).
    size_t read(char* buffer, size_t size);
    // Closes the pipe and waits: the program's exit status (0 to 255), or -1 when it
    // was not started or ended by a signal.
    int finish();

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

// Runs argv as ProgramReader does and keeps at most `limit` bytes of its output in
// `output` (the rest is read and dropped). Its exit status, or -1 as finish().
int programOutput(const std::vector<std::string>& argv, size_t limit, std::string* output);

// What a program run to its end said.
struct ProgramOutput {
    int waitStatus = 0;
    std::string text;  // its standard output and error as they came, up to the limit
    bool cut = false;  // it said more than the limit
};

// Runs the program argv[0] (searched in PATH) to its end: standard input from /dev/null,
// standard output and error into one pipe, read up to `limit` bytes (the rest is read and
// dropped, so a talkative program is never held up). `environment`, when given, replaces
// this process's. `passed[i]` is the program's descriptor i + 3 (its /dev/fd/<i + 3>);
// nothing else of this process reaches it. False when the program could not be started.
bool runProgram(const std::vector<std::string>& argv, const std::vector<std::string>* environment,
                const std::vector<int>& passed, std::size_t limit, ProgramOutput* output);

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

// Reads what the command has written so far (at most perTurn) and passes it on.
void readWatchedCommand();
