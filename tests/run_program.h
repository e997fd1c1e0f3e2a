// Runs a program as a separate process and collects what it wrote.
#pragma once

#include <string>
#include <vector>

namespace drusk::testing {

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs the program to its end, killing it after timeoutSeconds.
ProgramRun runProgram(const std::string& path, const std::string& workingDirectory,
                      const std::vector<std::string>& environment = {}, int timeoutSeconds = 60,
                      const std::vector<std::string>& arguments = {});

// A program running beside the test; killed when the handle goes.
class RunningProgram {
  public:
    RunningProgram(const std::string& path, const std::string& workingDirectory,
                   const std::vector<std::string>& environment = {},
                   const std::vector<std::string>& arguments = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool running();
    // The process id while it runs (and until it has been waited for).
    int pid() const { return pid_; }
    // Waits for the end; the exit status, or -1 when it did not exit by
    // itself within timeoutSeconds (it is killed then).
    int wait(int timeoutSeconds);
    std::string out() const;
    std::string err() const;

  private:
    std::string captureDir_;
    int pid_ = -1;
    int status_ = -1;
};

// Copies the file and keeps its permissions, so a copy of a program runs.
void copyExecutable(const std::string& from, const std::string& to);

}  // namespace drusk::testing
