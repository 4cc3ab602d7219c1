// The progress of the install, read from the progress lines of its output (lines of
// these two forms, which the output reader keeps out of the shown text):
//
//   "%% step 2 of 3"   the install script, before each of its rpm steps
//   "%% 42.500000"     rpm -Uv --percent, within a step ("42,500000" under a locale
//                      with a decimal comma)
//
// rpm counts from 0 to 100 once for each phase of its run (verifying, preparing, each
// package, the removal of the version it replaces), so a step holds the highest
// percentage it has seen: the fraction never goes back. It stays below full until the
// install is known to have succeeded.
#pragma once

#include <cstdint>
#include <string>

class InstallProgress {
  public:
    // How long the install may print no progress line before it counts as waiting (a
    // scriptlet at work, a step without percentages), in microseconds.
    static constexpr int64_t WaitAfter = 400 * 1000;
    // The most the fraction reaches before the end.
    static constexpr double RunningLimit = 0.99;

    // `now` and the times below are of one monotonic clock, in microseconds.
    explicit InstallProgress(int64_t now = 0) : lastLine_(now) {}

    // Takes one progress line, with or without its newline. A line that is neither a
    // step nor a percentage from 0 to 100 changes nothing.
    void take(const std::string& line, int64_t now);
    // The install ended: full when it succeeded, else where it was.
    void finish(bool succeeded);

    // From 0 to 1; never smaller than before.
    double fraction() const { return fraction_; }
    // Whether the install runs and no progress line came for WaitAfter.
    bool waiting(int64_t now) const { return !finished_ && now - lastLine_ >= WaitAfter; }
    bool finished() const { return finished_; }

  private:
    void advanceTo(double fraction);

    // The running step's share of the whole: from stepStart_, stepShare_ wide.
    double stepStart_ = 0.0;
    double stepShare_ = 1.0;
    double fraction_ = 0.0;
    int64_t lastLine_;
    bool finished_ = false;
};
