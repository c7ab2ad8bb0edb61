#include "tests/common/ToolRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/common/TestSupport.h"

namespace fcltest {
namespace {

int scratchFile(std::string* path) {
    const char* base = getenv("TMPDIR");
    *path = std::string(base && *base ? base : "/tmp") + "/fcl-run.XXXXXX";
    return mkstemp(&(*path)[0]);
}

std::string takeFile(int fd, const std::string& path) {
    close(fd);
    std::string text = readFile(path);
    unlink(path.c_str());
    return text;
}

// True when `variable` ("NAME=value") is named again in `environment`.
bool overridden(const char* variable, const std::vector<std::string>& environment) {
    const char* equals = strchr(variable, '=');
    size_t length = equals != nullptr ? static_cast<size_t>(equals - variable) + 1 : strlen(variable);
    for (const std::string& other : environment) {
        if (other.compare(0, length, variable, length) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ProgramRun::describe() const {
    return "status " + std::to_string(status) + (timedOut ? " (timed out)" : "") + "\n--- stdout\n" + out +
           "--- stderr\n" + err;
}

std::string toolPath(const std::string& name) {
    const char* tools = getenv("FCL_TOOLS_DIR");
    std::string directory = tools != nullptr ? tools : "";
    if (directory.empty()) {
        char self[4096];
        ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string exe(self, length > 0 ? static_cast<size_t>(length) : 0);
        directory = exe.substr(0, exe.rfind("/tests/")) + "/tools";
    }
    return directory + "/" + name + "/" + name;
}

StartedProgram startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    StartedProgram program;
    program.outFd = scratchFile(&program.outPath);
    program.errFd = scratchFile(&program.errPath);
    // Everything the child needs is made before the fork: a test binary may run other threads.
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& variable : environment) {
        env.push_back(const_cast<char*>(variable.c_str()));
    }
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (!overridden(*variable, environment)) {
            env.push_back(*variable);
        }
    }
    env.push_back(nullptr);
    fflush(nullptr);
    program.pid = fork();
    if (program.pid == 0) {
        setpgid(0, 0);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(program.outFd, 1);
        dup2(program.errFd, 2);
        execvpe(args[0], args.data(), env.data());
        _exit(127);
    }
    return program;
}

ProgramRun finishProgram(StartedProgram& program, int timeoutSeconds) {
    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (waitpid(program.pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            run.timedOut = true;
            kill(-program.pid, SIGKILL);
            kill(program.pid, SIGKILL);
            waitpid(program.pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    program.pid = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = takeFile(program.outFd, program.outPath);
    run.err = takeFile(program.errFd, program.errPath);
    return run;
}

ProgramRun runProgram(const std::vector<std::string>& argv, int timeoutSeconds,
                      const std::vector<std::string>& environment) {
    StartedProgram program = startProgram(argv, environment);
    return finishProgram(program, timeoutSeconds);
}

ProgramRun runTool(const std::string& name, const std::vector<std::string>& arguments, int timeoutSeconds,
                   const std::vector<std::string>& environment) {
    std::vector<std::string> argv{toolPath(name)};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram(argv, timeoutSeconds, environment);
}

std::string summaryField(const std::string& out, const std::string& name) {
    size_t at = out.find("  " + name);
    if (at == std::string::npos) {
        return "";
    }
    size_t start = out.find_first_not_of(' ', at + 2 + name.size());
    return start == std::string::npos ? "" : out.substr(start, out.find('\n', start) - start);
}

}  // namespace fcltest
