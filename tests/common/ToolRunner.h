#pragma once
// Runs the project's tools and other programs as child processes, with a bound on how long they may take.
#include <string>
#include <vector>

namespace fcltest {

struct ProgramRun {
    int status = -1;               // the exit status, or 128 + the signal that ended the program
    bool timedOut = false;         // killed at the time limit
    std::string out;               // standard output
    std::string err;               // standard error
    std::string describe() const;  // status, time-out and both outputs, for failure messages
};

// A program started and not yet waited for; finish() collects it.
struct StartedProgram {
    int pid = -1;
    int outFd = -1;
    int errFd = -1;
    std::string outPath;
    std::string errPath;
};

// A built tool: $FCL_TOOLS_DIR/<name>/<name>, else the tools folder of the build tree the test binary lies in.
std::string toolPath(const std::string& name);

// Runs `argv` (argv[0] looked up in PATH when it has no '/') with standard input from /dev/null and `environment`
// ("NAME=value") added. Kills the program, and whatever it started in its process group, after `timeoutSeconds`.
ProgramRun runProgram(const std::vector<std::string>& argv, int timeoutSeconds = 300,
                      const std::vector<std::string>& environment = {});
// runProgram in two steps, for a test that talks to the program while it runs.
StartedProgram startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
ProgramRun finishProgram(StartedProgram& program, int timeoutSeconds = 300);
// runProgram of the tool `name` with `arguments`.
ProgramRun runTool(const std::string& name, const std::vector<std::string>& arguments, int timeoutSeconds = 300,
                   const std::vector<std::string>& environment = {});

// The value of a "  <name> <value>" line of a tool's summary, blanks after the name skipped; "" when there is none.
std::string summaryField(const std::string& out, const std::string& name);

}  // namespace fcltest
