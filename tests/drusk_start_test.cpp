// Starts the built program the way a player would, from directories of our
// own making.
#include <gtest/gtest.h>

#include "tests/run_program.h"
#include "tests/temp_dir.h"

namespace drusk {
namespace {

using testing::TempDir;

TEST(DruskStart, WithoutGameFileSaysSoAndFails) {
    TempDir install, elsewhere;
    std::string program = install.path() + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, program);
    auto run = testing::runProgram(program, elsewhere.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "Can't locate game file!\r\n");
}

TEST(DruskStart, FindsGameFileBesideItselfNotInTheWorkingDirectory) {
    TempDir install, elsewhere;
    std::string program = install.path() + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, program);
    elsewhere.write("game.txt", "0,0,0,0,0,0\n");
    EXPECT_EQ(testing::runProgram(program, elsewhere.path()).exitStatus, 1);

    install.write("game.txt",
                  "0,0,0,0,0,0\n0,0,0,0,0,0\n0,0,0,0,0,0\n0,0,0,0,0,0\n"
                  "0,0,0,0,0,0\n0,0,0,0,0,0\n0,0,0,0,0,0\n0,0,0,0,0,0\n0,0,0\n");
    auto run = testing::runProgram(program, elsewhere.path());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "");
}

TEST(DruskStart, DirectoryNamedLikeTheGameFileIsNotOne) {
    TempDir install;
    std::string program = install.path() + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, program);
    install.write("game.txt/inner", "");
    auto run = testing::runProgram(program, install.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "Can't locate game file!\r\n");
}

}  // namespace
}  // namespace drusk
