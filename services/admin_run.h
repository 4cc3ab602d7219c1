// Running the install as root from a wizard that runs as a normal user: pkexec asks
// polkit, and polkit has the administrator authenticate through the desktop's own agent,
// through an agent on the terminal (pkttyagent), or answers by a rule of its own.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// pkexec in the system's own places (an absolute path: pkexec is setuid root and never
// taken from the user's PATH), or "" when it is not installed.
std::string pkexecPath();

// The environment pkexec is given: of `environment` only the locale variables and TERM,
// and those only when pkexec accepts their values (no "/", "%" or ".."); pkexec refuses to
// run at all with a value it finds suspicious. It gives the program it runs a clean
// environment of its own (HOME=/root, its own PATH) with these added.
std::vector<std::string> pkexecEnvironment(char** environment);

// A polkit agent on the terminal for this process alone (pkttyagent --process PID):
// pkexec started by this process then has the administrator's password asked on the
// terminal, where the user of a console wizard is, rather than by an agent of a desktop
// session. (Registered as a fallback, polkit would not use it for a process outside any
// login session.) It ends with the object.
class TerminalAgent {
  public:
    TerminalAgent() = default;
    ~TerminalAgent();
    TerminalAgent(const TerminalAgent&) = delete;
    TerminalAgent& operator=(const TerminalAgent&) = delete;

    // Starts pkttyagent and waits (a few seconds at most) until it is registered with
    // polkit. False when there is no pkttyagent or it did not register.
    bool start();
    void stop();

  private:
    pid_t pid_ = -1;
};
