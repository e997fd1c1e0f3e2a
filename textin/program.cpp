#include "textin/program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace drusk {

namespace {

CleanupAction cleanupActions[maxCleanupActions];
int cleanupCount = 0;
ConsoleSink consoleSink = nullptr;

// The link's target can be of any length, so grow until it fits.
std::string executablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        if (buffer.size() >= (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // no usable standard output: nothing to report
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

std::string assetRoot() {
    std::string path = executablePath();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash);
}

bool fileExists(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat info;
    bool regular = ::fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    ::close(fd);
    return regular;
}

void printLine(const std::string& message) {
    if (consoleSink) {
        consoleSink(message);
        return;
    }
    std::string line = message + "\r\n";
    std::fflush(stdout);
    writeAll(STDOUT_FILENO, line.data(), line.size());
}

void setConsoleSink(ConsoleSink sink) {
    consoleSink = sink;
}

int addCleanupAction(CleanupAction action) {
    if (cleanupCount >= maxCleanupActions) return 1;
    cleanupActions[cleanupCount++] = action;
    return 0;
}

void endProgram(int status) {
    // Actions may register or end nothing further; take each off the table
    // before running it so a nested endProgram cannot run it twice.
    while (cleanupCount > 0) {
        CleanupAction action = cleanupActions[--cleanupCount];
        action();
    }
    std::fflush(nullptr);
    std::exit(status);
}

}  // namespace drusk
