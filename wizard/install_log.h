// The install log: a record of every run that reaches the install, in every mode.
#pragma once

#include <cstddef>
#include <string>

#include "services/descriptor.h"

// The default place's directory for this user (as root /var/log/stage3).
std::string installLogDirectory();

// One per run, owned by the run (InstallRun): where the log goes, the file while it is
// open, and what became of it.
class InstallLog {
  public:
    // Where the next log goes: `path` as given (--log), or, when empty, the default
    // place: /var/log/stage3/install-<UTC time>.log as root, else install-<UTC time>.log
    // under $XDG_STATE_HOME/stage3 (or ~/.local/state/stage3).
    void setPath(const std::string& path) { chosenPath_ = path; }

    // Makes the log named with --log at once, exclusively (never through a link) with
    // mode 0600, so that a log that cannot be made stops the run before anything is
    // installed; the install writes to this file. 0, or the errno of the failure.
    // Nothing to do without a named log.
    int createNamed();
    // Removes the named log again when no install took it and it is still the empty file
    // made (a run that ended before its install).
    void discardUnused();

    // Opens the log: the named one, else one created exclusively (never through a link)
    // with mode 0600 in the default place, its directory made with mode 0700 when
    // missing. As root the default directory is used only when it is root's own and not
    // writable by group or others. False when it cannot be written; the install goes on
    // without it then.
    bool open();
    // The path of the open log, or the one that could not be written (the directory,
    // when directoryRefused).
    const std::string& path() const { return openPath_; }
    bool isOpen() const { return file_.valid(); }
    // Whether the log of the last run was opened (it may be closed again since).
    bool written() const { return written_; }
    // Whether the last log was not written because root's default log directory is not
    // root's own or others can write to it.
    bool directoryRefused() const { return directoryRefused_; }

    // Appends install output as a terminal would show it (no control characters but tab
    // and newline). Once the log reaches its limit one line says that the rest of the
    // output was dropped, and further output is.
    void write(const std::string& text);
    // Appends "name: value" on a line of its own, also after output was dropped.
    void writeField(const std::string& name, const std::string& value);
    void close() { file_.reset(); }

    // The size at which output stops being written (64 MiB unless a test says less).
    void setLimit(std::size_t bytes) { limit_ = bytes; }

  private:
    Descriptor createDefault();
    Descriptor openRootDirectory();
    void append(const std::string& text);

    // A log is read by a person: a script that prints without end does not fill the disk.
    std::size_t limit_ = 64 * 1024 * 1024;
    std::string chosenPath_;
    std::string openPath_;
    Descriptor file_;
    // The log named with --log, made at start-up, until the install takes it.
    Descriptor named_;
    bool written_ = false;
    bool directoryRefused_ = false;
    std::size_t size_ = 0;
    bool outputDropped_ = false;
};
