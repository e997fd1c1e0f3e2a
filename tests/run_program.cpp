#include "tests/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/temp_dir.h"

extern char** environ;

namespace drusk::testing {

ProgramRun runProgram(const std::string& path, const std::string& workingDirectory,
                      const std::vector<std::string>& environment) {
    TempDir capture;
    std::string outPath = capture.path() + "/out";
    std::string errPath = capture.path() + "/err";
    ProgramRun run;
    pid_t pid = fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(workingDirectory.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string& setting : environment)
            putenv(const_cast<char*>(setting.c_str()));
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

void copyExecutable(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace drusk::testing
