#include "wizard/progress.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const ProgressMark = "%% ";
// More steps than any script has: a line that announces more is not one of its own.
const int MaxSteps = 100;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A whole number of at most four digits at `at`, which moves past it; -1 when none.
int readCount(const std::string& text, size_t& at) {
    int value = 0;
    size_t start = at;
    while (at < text.size() && isDigit(text[at]) && at - start < 4)
        value = value * 10 + (text[at++] - '0');
    return at > start ? value : -1;
}

// "step K of N"; false unless the whole text is that, with 1 <= K <= N <= MaxSteps.
bool readStep(const std::string& text, int* step, int* steps) {
    if (text.compare(0, 5, "step ") != 0)
        return false;
    size_t at = 5;
    *step = readCount(text, at);
    if (text.compare(at, 4, " of ") != 0)
        return false;
    at += 4;
    *steps = readCount(text, at);
    return at == text.size() && *step >= 1 && *step <= *steps && *steps <= MaxSteps;
}

// A percentage as rpm prints it with "%f": digits, then a decimal point or comma (the
// locale's) and digits. Read by hand, so that the wizard's own locale does not matter.
// False unless the whole text is one from 0 to 100.
bool readPercent(const std::string& text, double* percent) {
    size_t at = 0;
    double value = 0.0;
    while (at < text.size() && isDigit(text[at]) && at < 3) value = value * 10 + (text[at++] - '0');
    if (at == 0)
        return false;
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        double scale = 0.1;
        for (++at; at < text.size() && isDigit(text[at]); ++at, scale /= 10)
            value += (text[at] - '0') * scale;
    }
    if (at != text.size() || value > 100.0)
        return false;
    *percent = value;
    return true;
}

}  // namespace

void InstallProgress::take(const std::string& line, int64_t now) {
    if (finished_ || line.compare(0, 3, ProgressMark) != 0)
        return;
    std::string text = line.substr(3);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    int step, steps;
    double percent;
    if (readStep(text, &step, &steps)) {
        stepShare_ = 1.0 / steps;
        stepStart_ = (step - 1) * stepShare_;
        advanceTo(stepStart_);
    } else if (readPercent(text, &percent)) {
        advanceTo(stepStart_ + stepShare_ * percent / 100.0);
    } else {
        return;
    }
    lastLine_ = now;
}

void InstallProgress::finish(bool succeeded) {
    if (finished_)
        return;
    finished_ = true;
    if (succeeded)
        fraction_ = 1.0;
}

void InstallProgress::advanceTo(double fraction) {
    if (fraction > RunningLimit)
        fraction = RunningLimit;
    if (fraction > fraction_)
        fraction_ = fraction;
}
