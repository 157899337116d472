#include "quiltdeck/panels/Mark.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/app/ToolModes.h"
#include "quiltdeck/panels/IconWriter.h"
#include "quiltdeck/shell/AppVersion.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "support/CanvasInk.h"

namespace quiltdeck {
namespace {

using platform::gfx::Canvas;
using platform::gfx::Rgba;
using testing::TempFolder;

const Rgba ink = Rgba::fromBytes(255, 255, 255);
const Rgba ground = Rgba::fromBytes(0, 0, 255);

// Width and height from a PNG's header; none when it is no PNG.
std::optional<std::pair<int, int>> pngSize(const std::filesystem::path& file) {
    const std::string bytes = testing::readFile(file);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return std::nullopt;
    auto word = [&](size_t at) {
        return static_cast<int>(static_cast<uint8_t>(bytes[at]) << 24 | static_cast<uint8_t>(bytes[at + 1]) << 16 |
                                static_cast<uint8_t>(bytes[at + 2]) << 8 | static_cast<uint8_t>(bytes[at + 3]));
    };
    return std::pair{word(16), word(20)};
}

double alphaAlongRow(const Canvas& canvas, int y, int x0, int x1) {
    double sum = 0;
    for (int x = x0; x < x1; ++x) sum += (canvas.pixel(x, y) >> 24) / 255.0;
    return sum;
}

TEST(MarkTest, StyleNamesAreExact) {
    for (const MarkStyle style : allMarkStyles) EXPECT_EQ(markStyleFrom(rawValue(style)), style);
    for (const char* other : {"", "Converge", "converge ", "tile"}) EXPECT_FALSE(markStyleFrom(other)) << other;
}

// At 220 points the margin is 44 and the unit 3.3.
TEST(MarkTest, GeometryAtSize220) {
    Canvas dots({220, 220}, 1);
    Mark::draw(dots, 220, ink, std::nullopt, MarkStyle::dots);
    // The dot at grid (6, 6) is 23.76 across: centre 63.8 from the bottom.
    EXPECT_NEAR(alphaAlongRow(dots, 220 - 64, 30, 95), 23.76, 0.6);

    // Round caps of the chevrons' 20.46-wide strokes reach 10.23 beyond the end points at y = 9 and 31.
    Canvas chevrons({220, 220}, 1);
    Mark::draw(chevrons, 220, ink, std::nullopt, MarkStyle::chevrons);
    const auto box = platform::gfx::testing::inkBox(chevrons);
    EXPECT_EQ(box.y0, 63);
    EXPECT_EQ(box.y1, 157);
}

TEST(MarkTest, TilesCursorIsAHoleOnlyWithAGround) {
    // The cursor's middle, grid (9.5, 13), at 220 points: (75.35, 86.9) from the bottom left.
    for (const bool withGround : {true, false}) {
        Canvas canvas({220, 220}, 1);
        Mark::draw(canvas, 220, ink, withGround ? std::optional(ground) : std::nullopt, MarkStyle::tiles);
        EXPECT_EQ(canvas.pixel(75, 220 - 87), (withGround ? ground : ink).premultipliedArgb()) << withGround;
    }
}

TEST(MarkTest, PreviewIsOneImageOfEveryStyle) {
    TempFolder folder;
    EXPECT_FALSE(Mark::writePreview(folder / "preview.png"));
    EXPECT_EQ(pngSize(folder / "preview.png"), std::pair(1080, 560));
    const auto error = Mark::writePreview(folder / "missing" / "preview.png");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(), "cannot write " + (folder / "missing" / "preview.png").string() +
                                    ": No such file or directory");
}

TEST(IconWriterTest, TenFilesTwoPerSize) {
    TempFolder folder;
    EXPECT_FALSE(IconWriter::write(folder / "a" / "b"));
    std::map<int, int> sizes;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "a" / "b")) {
        ++files;
        const auto size = pngSize(entry.path());
        ASSERT_TRUE(size) << entry.path();
        EXPECT_EQ(size->first, size->second);
        ++sizes[size->first];
    }
    EXPECT_EQ(files, 10);
    EXPECT_EQ(sizes, (std::map<int, int>{{16, 1}, {32, 2}, {64, 1}, {128, 1}, {256, 2}, {512, 2}, {1024, 1}}));
    EXPECT_EQ(pngSize(folder / "a" / "b" / "icon_32x32@2x.png"), std::pair(64, 64));
}

TEST(IconWriterTest, FolderThatCannotBeMadeFailsBeforeAnyFile) {
    TempFolder folder;
    testing::writeFile(folder / "file", "x");
    const auto error = IconWriter::write(folder / "file" / "icons");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->path, folder / "file" / "icons");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(IconWriterTest, ConvergeOnADarkTileInsideTheInset) {
    const auto bytes = IconWriter::png(100);
    ASSERT_TRUE(bytes);
    TempFolder folder;
    testing::writeFile(folder / "icon.png", *bytes);
    EXPECT_EQ(pngSize(folder / "icon.png"), std::pair(100, 100));
}

TEST(ToolModesTest, FlagsAndExitCodes) {
    TempFolder folder;
    testing::writeFile(folder / "file", "x");
    const std::string icons = (folder / "icons").string(), preview = (folder / "preview.png").string();
    const struct {
        std::vector<std::string> arguments;
        std::optional<int> code;
        bool iconsWritten;
        bool previewWritten;
        std::string errors;
    } cases[] = {
        {{}, std::nullopt, false, false, ""},
        {{"--write-iconset"}, std::nullopt, false, false, ""},
        {{"--write-mark-preview", preview, "--write-iconset"}, 0, false, true, ""},
        {{"--write-iconset", icons, "--write-mark-preview", preview}, 0, true, false, ""},
        {{"--write-mark-preview", preview}, 0, false, true, ""},
        {{"--write-mark-preview", (folder / "no" / "p.png").string()}, 1, false, false,
         "quiltdeck: cannot write " + (folder / "no" / "p.png").string() + ": No such file or directory\n"},
        {{"--write-iconset", (folder / "file" / "x").string()}, 1, false, false,
         "quiltdeck: cannot write " + (folder / "file" / "x").string() + ": Not a directory\n"},
    };
    for (const auto& test : cases) {
        std::filesystem::remove_all(icons);
        std::filesystem::remove(preview);
        std::ostringstream out, errors;
        EXPECT_EQ(runToolMode(test.arguments, out, errors), test.code) << ::testing::PrintToString(test.arguments);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(std::filesystem::exists(icons), test.iconsWritten);
        EXPECT_EQ(std::filesystem::exists(preview), test.previewWritten);
        EXPECT_EQ(errors.str(), test.errors);
    }
}

TEST(ToolModesTest, HelpVersionAndUnknownOptions) {
    const std::string unknown = "Try 'quiltdeck --help' for what the program accepts.\n";
    const struct {
        std::vector<std::string> arguments;
        std::optional<int> code;
        bool usage;
        std::string errors;
    } cases[] = {
        {{"--help"}, 0, true, ""},
        {{"-h"}, 0, true, ""},
        {{"--", "--help"}, std::nullopt, false, ""},
        {{"--frobnicate"}, 2, false, "quiltdeck: unknown option --frobnicate\n" + unknown},
        {{"--help", "-x"}, 2, false, "quiltdeck: unknown option -x\n" + unknown},
        {{"--HELP"}, 2, false, "quiltdeck: unknown option --HELP\n" + unknown},
        {{"--write-iconset=x"}, 2, false, "quiltdeck: unknown option --write-iconset=x\n" + unknown},
        {{"folder"}, std::nullopt, false, ""},
        {{"-"}, std::nullopt, false, ""},
    };
    for (const auto& test : cases) {
        std::ostringstream out, errors;
        EXPECT_EQ(runToolMode(test.arguments, out, errors), test.code) << ::testing::PrintToString(test.arguments);
        EXPECT_EQ(out.str(), test.usage ? usageText() : "") << ::testing::PrintToString(test.arguments);
        EXPECT_EQ(errors.str(), test.errors) << ::testing::PrintToString(test.arguments);
    }
    // A tool flag's value is never read as an option.
    TempFolder folder;
    const std::string named = (folder / "-h").string();
    std::ostringstream out, errors;
    EXPECT_EQ(runToolMode(std::vector<std::string>{"--write-iconset", named}, out, errors), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(named), {}), 10);

    std::ostringstream version;
    EXPECT_EQ(runToolMode(std::vector<std::string>{"--version"}, version, errors), 0);
    EXPECT_EQ(version.str(), "quiltdeck " + AppVersion::shortVersion() + "\n");
    // The usage names the tool modes and every variable the program reads.
    for (const char* word : {"--write-iconset", "--write-mark-preview", "--help", "QUILTDECK_STATE_DIR", "QUILTDECK_OPEN",
                             "QUILTDECK_SNAPSHOT ", "QUILTDECK_SNAPSHOT_DELAY", "QUILTDECK_SNAPSHOT_ACTION"}) {
        EXPECT_NE(usageText().find(word), std::string::npos) << word;
    }
}

// The program itself, with no display at all.
TEST(ToolModesTest, ProgramWritesWithoutADisplay) {
    TempFolder folder;
    auto q = [](const std::filesystem::path& path) { return ShellCommand::quoteForShell(path.string()); };
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + q(QUILTDECK_APP) + " --write-iconset " +
                                q(folder / "set") + " 2>" + q(folder / "err");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << testing::readFile(folder / "err");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "set"), {}), 10);

    const std::string failing = "env -u DISPLAY " + q(QUILTDECK_APP) + " --write-mark-preview " +
                                q(folder / "no" / "p.png") + " 2>" + q(folder / "err");
    const int failed = std::system(failing.c_str());
    ASSERT_TRUE(WIFEXITED(failed));
    EXPECT_EQ(WEXITSTATUS(failed), 1);
    EXPECT_EQ(testing::readFile(folder / "err"),
              "quiltdeck: cannot write " + (folder / "no" / "p.png").string() + ": No such file or directory\n");
}

TEST(ToolModesTest, ProgramPrintsItsUsageOrRefusesAnUnknownOption) {
    TempFolder folder;
    auto q = [](const std::filesystem::path& path) { return ShellCommand::quoteForShell(path.string()); };
    const struct {
        const char* option;
        int code;
        bool usage;
        std::string errors;
    } cases[] = {
        {"--help", 0, true, ""},
        {"--bogus", 2, false, "quiltdeck: unknown option --bogus\nTry 'quiltdeck --help' for what the program accepts.\n"},
    };
    for (const auto& test : cases) {
        // With a display unset and a state folder of its own: a start would say it has no display.
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QUILTDECK_STATE_DIR=" + q(folder / "state") + " " +
                                    q(QUILTDECK_APP) + " " + test.option + " >" + q(folder / "out") + " 2>" + q(folder / "err");
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), test.code) << test.option;
        EXPECT_EQ(testing::readFile(folder / "out"), test.usage ? usageText() : "") << test.option;
        EXPECT_EQ(testing::readFile(folder / "err"), test.errors) << test.option;
        EXPECT_FALSE(std::filesystem::exists(folder / "state")) << test.option;
    }
}

}  // namespace
}  // namespace quiltdeck
