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

std::string emptyMap() {
    std::string map;
    for (int row = 0; row < 8; ++row) map += "0,0,0,0,0,0\n";
    return map + "0,0,0\n";
}

// Settings under which no display can be opened, even on a desktop.
const std::vector<std::string> noDisplay = {"DISPLAY=:987654", "WAYLAND_DISPLAY=",
                                            "SDL_VIDEODRIVER", "DRUSK_SCREEN"};

TEST(DruskStart, FindsGameFileBesideItselfNotInTheWorkingDirectory) {
    TempDir install, elsewhere;
    std::string program = install.path() + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, program);
    elsewhere.write("game.txt", emptyMap());
    auto missing = testing::runProgram(program, elsewhere.path(), noDisplay);
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.out, "Can't locate game file!\r\n");

    // With the game file beside the program it goes on to open the display.
    install.write("game.txt", emptyMap());
    auto run = testing::runProgram(program, elsewhere.path(), noDisplay);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no display could be opened (tried: sdl)"), std::string::npos) << run.err;
}

TEST(DruskStart, MissingViewPictureIsReportedAndFails) {
    TempDir install;
    std::string program = install.path() + "/drusk";
    testing::copyExecutable(DRUSK_BINARY, program);
    std::string map = emptyMap();
    map[2 * 12 + 2 * 2] = '1';  // column 2, row 2
    install.write("game.txt", map);
    install.write("img/2_2_n.bmp", "not a picture, but it exists");
    auto run = testing::runProgram(program, install.path(), {"DRUSK_SCREEN=null"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, install.path() + "/img/2_2_w.bmp not found!\n");
    EXPECT_EQ(run.out, "") << "the message is drawn on the screen, not written to standard output";
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
