// The program itself, run as a user would, with no display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {
namespace {

using testing::TempFolder;

std::string q(const std::string& word) { return ShellCommand::quoteForShell(word); }

// Runs the program with these variables set (command-line text, values quoted; DISPLAY,
// WAYLAND_DISPLAY and the session bus unset); its exit status and standard error.
std::pair<int, std::string> runProgram(const std::string& variables, const TempFolder& folder) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS " + variables + " " +
                                q(QUILTDECK_APP) + " 2>" + q(folder / "err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::readFile(folder / "err")};
}

TEST(StoreLockTest, HeldElsewhereAsksWithoutTaking) {
    TempFolder folder;
    EXPECT_FALSE(Store::heldElsewhere(folder.path()));
    EXPECT_FALSE(Store::heldElsewhere(folder.path()));  // the first question took nothing
    const int holder = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(Store::heldElsewhere(folder.path()));
    ::close(holder);
    EXPECT_FALSE(Store::heldElsewhere(folder.path()));
    EXPECT_FALSE(Store::heldElsewhere(folder / "missing"));
}

TEST(ProgramTest, AHeldStateFolderRefusesTheStartAndLeavesItAlone) {
    TempFolder folder;
    const auto state = folder / "state";
    std::filesystem::create_directories(state);
    testing::writeFile(state / "log.txt", "2026-01-01T00:00:00Z  launch\n");
    const int holder = ::open(state.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const auto [code, errors] = runProgram("QUILTDECK_STATE_DIR=" + q(state), folder);
    ::close(holder);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(errors, "Quiltdeck is already running with " + state.string() + "\n");
    EXPECT_EQ(testing::readFile(state / "log.txt"), "2026-01-01T00:00:00Z  launch\n");
    EXPECT_FALSE(std::filesystem::exists(state / "running"));
}

TEST(ProgramTest, NoDisplayIsSaidAndEndsTheStart) {
    TempFolder folder;
    const auto [code, errors] = runProgram("QUILTDECK_STATE_DIR=" + q(folder / "state"), folder);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(errors, "quiltdeck: cannot open the display\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "state" / "running"));
}

}  // namespace
}  // namespace quiltdeck
