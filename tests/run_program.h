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

ProgramRun runProgram(const std::string& path, const std::string& workingDirectory,
                      const std::vector<std::string>& environment = {});

// Copies the file and keeps its permissions, so a copy of a program runs.
void copyExecutable(const std::string& from, const std::string& to);

}  // namespace drusk::testing
