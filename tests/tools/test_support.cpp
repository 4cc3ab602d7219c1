#include "tests/tools/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

std::string dataPath(const std::string& relative) {
    return std::string(TEST_DATA_DIR) + "/" + relative;
}

ToolRun runTool(const std::vector<std::string>& args, unsigned long fileSizeLimit) {
    ScratchDir capture;
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    std::vector<std::string> argv{RESDB_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(&arg[0]);
    }
    pointers.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(126);
        }
        if (fileSizeLimit != 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        throw std::runtime_error("cannot run " + argv[0]);
    }
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

#if defined(__SANITIZE_ADDRESS__)
// The PO tests call libgettextpo in-process; it keeps parser allocations to the
// end of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgettextpo\n";
}
#endif
