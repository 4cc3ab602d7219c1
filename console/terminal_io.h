// The console wizard's terminal: its size, and lines read from standard input with a
// Ctrl-C as an answer of its own.
#pragma once

#include <string>

struct TerminalSize {
    int columns;
    int rows;
};

// The size of the terminal on standard output; else COLUMNS and LINES; else 80 by 24.
TerminalSize terminalSize();

// Writes `text` to standard output as it is, at once.
void writeOut(const std::string& text);

enum class Input {
    Line,       // a line was read
    Interrupt,  // Ctrl-C (SIGINT)
    End         // the end of standard input
};

// Catches SIGINT for readLine: a Ctrl-C while no line is being read answers the next
// readLine. Called again after anything that changed the signal's handling.
void catchInterrupts();

// Reads one line from standard input into `*line`, without its newline; of a line
// longer than 4 KiB the rest is dropped.
Input readLine(std::string* line);

// Drops what was typed on the terminal before it was asked for; lines from a file or a
// pipe stay.
void dropTypeAhead();
