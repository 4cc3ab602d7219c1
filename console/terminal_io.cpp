#include "console/terminal_io.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {

const std::size_t LineLimit = 4096;

// process-wide: set by the SIGINT handler, which has nothing else to reach.
volatile sig_atomic_t interrupted = 0;

// Standard input as the console reads it, in lines.
struct LineInput {
    // What was read past the line handed out last.
    std::string pending;
    std::size_t lastLineLength = 0;  // of the unfinished line at the end of `pending`
    bool discarding = false;         // within the rest of an overlong line
    bool ended = false;
};

// process-wide: standard input is the process's one; what was read of it past a line
// stays with it for whichever page reads the next.
LineInput input;

void onInterrupt(int) {
    interrupted = 1;
}

int fromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    if (!value)
        return fallback;
    char* end = nullptr;
    long number = std::strtol(value, &end, 10);
    return end != value && *end == '\0' && number > 0 && number < 10000 ? static_cast<int>(number)
                                                                        : fallback;
}

// Adds bytes read to `pending`, leaving out what is past the limit of a line.
void takeIn(const char* data, std::size_t length) {
    for (std::size_t at = 0; at < length; ++at) {
        char c = data[at];
        if (c == '\n') {
            input.discarding = false;
            input.lastLineLength = 0;
        } else if (input.discarding) {
            continue;
        } else if (input.lastLineLength >= LineLimit) {
            input.discarding = true;
            continue;
        } else {
            ++input.lastLineLength;
        }
        input.pending += c;
    }
}

// Waits for input, or for SIGINT without the race of a signal that comes just before
// the wait. False when a Ctrl-C came.
bool waitForInput() {
    sigset_t interrupt, previous;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, &previous);
    bool ready = false;
    while (!interrupted && !ready) {
        struct pollfd waited = {STDIN_FILENO, POLLIN, 0};
        // SIGINT is let through only while ppoll waits.
        int result = ppoll(&waited, 1, nullptr, &previous);
        if (result < 0 && errno != EINTR)
            input.ended = true;
        ready = result > 0 || input.ended;
    }
    bool wasInterrupted = interrupted;
    interrupted = 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return !wasInterrupted;
}

}  // namespace

TerminalSize terminalSize() {
    struct winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0)
        return {size.ws_col, size.ws_row};
    return {fromEnvironment("COLUMNS", 80), fromEnvironment("LINES", 24)};
}

void writeOut(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a Ctrl-C ends the wait for input.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

Input readLine(std::string* line) {
    for (;;) {
        std::size_t newline = input.pending.find('\n');
        if (newline != std::string::npos) {
            line->assign(input.pending, 0, newline);
            input.pending.erase(0, newline + 1);
            return Input::Line;
        }
        if (input.ended) {
            if (input.pending.empty())
                return Input::End;
            line->swap(input.pending);
            input.pending.clear();
            input.lastLineLength = 0;
            return Input::Line;
        }
        if (!waitForInput()) {
            input.pending.clear();
            input.lastLineLength = 0;
            input.discarding = false;
            return Input::Interrupt;
        }
        if (input.ended)
            continue;
        char buffer[4096];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            input.ended = true;
        else
            takeIn(buffer, static_cast<std::size_t>(n));
    }
}

void dropTypeAhead() {
    // Lines that come from a file or a pipe were written to be read.
    if (!isatty(STDIN_FILENO))
        return;
    tcflush(STDIN_FILENO, TCIFLUSH);
    input.pending.clear();
    input.lastLineLength = 0;
    input.discarding = false;
}
