#include "textin/program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/run_program.h"
#include "tests/temp_dir.h"

namespace drusk {
namespace {

using testing::TempDir;

TEST(AssetRoot, IsTheDirectoryHoldingTheProgram) {
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string root = assetRoot();
    EXPECT_EQ(root + "/" + std::filesystem::path(exe).filename().string(), exe);
    EXPECT_NE(root.back(), '/');
}

TEST(FileExists, AnswersForFilesOnly) {
    TempDir dir;
    EXPECT_TRUE(fileExists(dir.write("empty.bmp", "")));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir.path() + "/missing.bmp"));
    std::string locked = dir.write("locked.bmp", "x");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (geteuid() != 0) {
        EXPECT_FALSE(fileExists(locked));  // root reads anything
    }
}

std::string order;
void first() {
    order += "first ";
}
void second() {
    order += "second ";
}
void third() {
    order += "third ";
    printLine(order);
}

TEST(EndProgram, RunsCleanupActionsNewestFirstThenExits) {
    EXPECT_EXIT(
        {
            addCleanupAction(third);
            addCleanupAction(second);
            addCleanupAction(first);
            endProgram(3);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(PrintLine, WritesTheMessageAndCrLfToStandardOutput) {
    TempDir dir;
    std::string path = dir.path() + "/out";
    fflush(stdout);
    int saved = dup(1);
    FILE* file = fopen(path.c_str(), "w");
    dup2(fileno(file), 1);
    printLine("Can't locate game file!");
    printLine("");
    dup2(saved, 1);
    close(saved);
    fclose(file);
    EXPECT_EQ(testing::readFile(path), "Can't locate game file!\r\n\r\n");
}

std::string sunk;
void sink(const std::string& message) {
    sunk += message + "|";
}

TEST(PrintLine, GoesToAnInstalledConsole) {
    setConsoleSink(sink);
    printLine("a");
    printLine("b");
    setConsoleSink(nullptr);
    EXPECT_EQ(sunk, "a|b|");
}

}  // namespace
}  // namespace drusk
