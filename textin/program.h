// Where the data files lie, whether they can be read, and how the program
// reports a fatal problem and ends.
#pragma once

#include <string>

namespace drusk {

// The directory holding the running program, without a trailing separator;
// empty when the program's path cannot be found.
std::string assetRoot();

// True when the file can be opened for reading; a directory answers false.
bool fileExists(const std::string& path);

// Writes the message and a CR LF line end to the console: standard output,
// or whatever console an open display has installed.
void printLine(const std::string& message);

// Runs the registered clean-up actions, newest first, then ends the process.
[[noreturn]] void endProgram(int status);

using CleanupAction = void (*)();
inline constexpr int maxCleanupActions = 16;
// Returns 0, or 1 when the table is full.
int addCleanupAction(CleanupAction action);

// The console that printLine writes to; null restores standard output.
using ConsoleSink = void (*)(const std::string& message);
void setConsoleSink(ConsoleSink sink);

// Exit statuses of the program.
inline constexpr int exitNormal = 0;
inline constexpr int exitFatal = 1;

}  // namespace drusk
