#include "tests/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/temp_dir.h"

extern char** environ;

namespace drusk::testing {

namespace {

// The child side of starting a program: output to files, no input.
[[noreturn]] void execProgram(const std::string& path, const std::string& workingDirectory,
                              const std::vector<std::string>& environment, char* const* argv,
                              const std::string& outPath, const std::string& errPath) {
    int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(workingDirectory.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // "NAME=" sets an empty value; a bare "NAME" removes the variable.
    for (const std::string& setting : environment)
        putenv(strdup(setting.c_str()));
    execv(path.c_str(), argv);
    _exit(127);
}

int waitFor(int pid, int timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

ProgramRun runProgram(const std::string& path, const std::string& workingDirectory,
                      const std::vector<std::string>& environment, int timeoutSeconds,
                      const std::vector<std::string>& arguments) {
    RunningProgram program(path, workingDirectory, environment, arguments);
    ProgramRun run;
    run.exitStatus = program.wait(timeoutSeconds);
    run.out = program.out();
    run.err = program.err();
    return run;
}

RunningProgram::RunningProgram(const std::string& path, const std::string& workingDirectory,
                               const std::vector<std::string>& environment,
                               const std::vector<std::string>& arguments) {
    char pattern[] = "/tmp/drusk-run-XXXXXX";
    if (mkdtemp(pattern)) captureDir_ = pattern;
    std::string outPath = captureDir_ + "/out", errPath = captureDir_ + "/err";
    // Built before the fork: the child of a threaded process should not
    // allocate.
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) execProgram(path, workingDirectory, environment, argv.data(), outPath, errPath);
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0 && status_ == -1) wait(0);
    std::error_code ignored;
    if (!captureDir_.empty()) std::filesystem::remove_all(captureDir_, ignored);
}

bool RunningProgram::running() {
    if (pid_ <= 0 || status_ != -1) return false;
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done != pid_) return done == 0;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    return false;
}

int RunningProgram::wait(int timeoutSeconds) {
    if (pid_ <= 0) return -1;
    if (status_ != -1) return status_ < 0 ? -1 : status_;
    int status = waitFor(pid_, timeoutSeconds);
    status_ = status < 0 ? -2 : status;
    return status;
}

std::string RunningProgram::out() const {
    return readFile(captureDir_ + "/out");
}
std::string RunningProgram::err() const {
    return readFile(captureDir_ + "/err");
}

void copyExecutable(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace drusk::testing
