#include "platform/runtime/LocalPaths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace platform::runtime {
namespace {

// Sets HOME (or unsets it) for one scope.
class HomeVariable {
public:
    explicit HomeVariable(const std::optional<std::string>& value) {
        if (const char* old = std::getenv("HOME")) saved_ = old;
        if (value) ::setenv("HOME", value->c_str(), 1);
        else ::unsetenv("HOME");
    }
    ~HomeVariable() {
        if (saved_) ::setenv("HOME", saved_->c_str(), 1);
        else ::unsetenv("HOME");
    }

private:
    std::optional<std::string> saved_;
};

TEST(LocalPaths, ExpandingTilde) {
    const passwd* me = ::getpwuid(::getuid());
    ASSERT_TRUE(me && me->pw_dir && me->pw_name);
    const std::string myName = me->pw_name, myFolder = me->pw_dir;
    struct Case {
        std::optional<std::string> home;
        std::string path, expected;
    } cases[] = {
        {"/h/me", "~", "/h/me"},
        {"/h/me", "~/notes.txt", "/h/me/notes.txt"},
        {"/h/me", "~//a", "/h/me//a"},
        {std::nullopt, "~/a", myFolder + "/a"},  // no HOME: the password entry
        {"", "~/a", myFolder + "/a"},
        {"/h/me", "~" + myName, myFolder},
        {"/h/me", "~" + myName + "/a", myFolder + "/a"},
        {"/h/me", "~no-such-user-here/a", "~no-such-user-here/a"},
        {"/h/me", "a/~/b", "a/~/b"},
        {"/h/me", "/~", "/~"},
        {"/h/me", "", ""},
    };
    for (const Case& c : cases) {
        HomeVariable home(c.home);
        EXPECT_EQ(LocalPaths::expandingTilde(c.path), c.expected) << c.path << " HOME=" << c.home.value_or("(unset)");
    }
}

TEST(LocalPaths, Exists) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("local-paths-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "x";
    fs::create_symlink(folder / "file", folder / "link");
    fs::create_symlink(folder / "gone", folder / "dangling");
    struct Case {
        fs::path path;
        bool exists;
    } cases[] = {
        {folder / "file", true}, {folder, true}, {folder / "link", true},
        {folder / "dangling", false}, {folder / "missing", false}, {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(LocalPaths::exists(c.path.string()), c.exists) << c.path;
    fs::remove_all(folder);
}

}  // namespace
}  // namespace platform::runtime
