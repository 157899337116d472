#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "KittyTestSupport.h"
#include "vantel/graphics/KittyPayloadLoader.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

std::span<const uint8_t> span(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

KittyGraphicsControl control(std::string_view text) {
    return parseKittyGraphicsControl(span(std::string(text))).control;
}

std::optional<KittyGraphicsPayload> decodeInBand(std::string_view keys, const std::string& raw) {
    return decodeKittyPayload(control(keys), span(base64(raw)));
}

TEST(KittyPayload, Base64SkipsStrayCharacters) {
    EXPECT_EQ(decodeKittyBase64(span("Cg\noU\r\n Hg==")), (std::vector<uint8_t>{10, 10, 20, 30}));
    EXPECT_EQ(decodeKittyBase64(span("CgoU!Hg")), (std::vector<uint8_t>{10, 10, 20, 30}));
    EXPECT_EQ(decodeKittyBase64(span("CgoUH")), std::nullopt);
    EXPECT_EQ(decodeKittyBase64(span("Cg==Cg==")), std::nullopt);
}

struct InBandCase {
    const char* keys;
    std::string raw;
    bool accepted;
};

TEST(KittyPayload, InBandFormatsAndSizes) {
    const std::string png = makePng(2, 1, solidPixels(2, 1));
    const std::string wide = makePng(10001, 1, solidPixels(10001, 1));
    const std::string rgba4(16, '\x7f');
    const std::vector<InBandCase> cases = {
        {"f=32,s=2,v=2", rgba4, true},
        {"f=32,s=2,v=2", rgba4 + "x", false},
        {"f=32,s=0,v=1", "", false},
        {"f=32,s=10001,v=1", std::string(40004, 'x'), false},
        {"f=24,s=1,v=1", std::string(3, 'a'), true},
        {"f=24,s=1,v=1", std::string(4, 'a'), false},
        {"f=100", png, true},
        {"f=100", wide, false},
        {"f=100", "not a png at all, not at all", false},
        {"f=7,s=1,v=1", std::string(4, 'a'), false},
        {"o=z,f=32,s=2,v=2", zlibCompress(rgba4), true},
        {"o=x,f=32,s=2,v=2", zlibCompress(rgba4), false},
        {"o=z,f=32,s=2,v=2", zlibCompress(rgba4).substr(0, zlibCompress(rgba4).size() / 2), false},
        {"o=z,f=32,s=2,v=2", zlibCompress(rgba4 + rgba4), false},  // inflates past the pixel size
        {"o=z,f=100", zlibCompress(png), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeInBand(c.keys, c.raw).has_value(), c.accepted) << c.keys << " / " << c.raw.size();
    }
    EXPECT_FALSE(decodeKittyPayload(control("f=32,s=1,v=1"), {}));
    EXPECT_EQ(decodeInBand("f=24,s=1,v=1", "\x0a\x14\x1e")->bytes, (std::vector<uint8_t>{10, 20, 30, 255}));
}

// A tiny stream that would inflate to gigabytes stops at the limit.
TEST(KittyPayload, InflateStopsAtTheLimit) {
    const std::string bomb = zlibCompress(std::string(64 * 1024 * 1024, '\0'));
    const auto data = std::vector<uint8_t>(bomb.begin(), bomb.end());
    EXPECT_FALSE(decompressZlib(data, 1024 * 1024));
    EXPECT_EQ(decompressZlib(data)->size(), 64u * 1024 * 1024);
}

// Straight alpha, as f=32 data is: a cropped PNG looks like the same picture sent raw.
TEST(KittyPayload, PngDecodesToStraightRgba) {
    const auto png = makePng(2, 1, {255, 0, 0, 255, 200, 100, 50, 128});
    const auto pixels = decodePngToRgba(span(png));
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width, 2);
    EXPECT_EQ(pixels->bytes, (std::vector<uint8_t>{255, 0, 0, 255, 200, 100, 50, 128}));
    EXPECT_EQ(kittyPngPixelSize(span(png)), std::pair(2, 1));
    EXPECT_FALSE(decodePngToRgba(span(png.substr(0, png.size() - 20))));
}

class KittyMedia : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("kitty-media-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& content) {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string load(const std::string& keys, const std::string& path) {
        auto result = loadKittyPayload(control(keys), span(base64(path)));
        return result.payload ? "ok:" + bytes(result.payload->bytes) : result.errorMessage;
    }
    std::filesystem::path dir;
};

TEST_F(KittyMedia, FilePathsAreChecked) {
    const std::string file = write("pixels", "0123456789abcdefghij");
    std::filesystem::create_symlink("/sys/kernel", dir / "link");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", "/proc/self/status"), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", (dir / "link" / "..").string() + "/kernel/x"), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", (dir / "link").string()), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", "/dev/zero"), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", dir.string() + "/missing"), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", std::string("/tmp/\xff")), "EINVAL: bad path");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1", ""), "EINVAL: bad payload");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1,S=3,O=5", file), "ok:567\xff");
    EXPECT_EQ(load("t=f,f=32,s=1,v=5,O=0", file), "ok:0123456789abcdefghij");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1,O=21", file), "EINVAL: bad payload");
    EXPECT_EQ(load("t=f,f=24,s=1,v=1,O=-1", file), "EINVAL: bad payload");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(readKittyFileData(file, 5, 10, false), (std::vector<uint8_t>{'5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(readKittyFileData(dir.string(), 0, 0, false), std::nullopt);
}

TEST_F(KittyMedia, OversizedFileIsRefused) {
    const std::string file = write("big", "");
    std::filesystem::resize_file(file, kittyMaximumDataBytes + 1);
    EXPECT_EQ(readKittyFileData(file, 0, 100, false), std::nullopt);
}

TEST(KittyPayload, ReadLimitsFollowTheControl) {
    const std::string png = makePng(3, 2, solidPixels(3, 2));
    const std::vector<std::pair<std::string, size_t>> cases = {
        {"f=32,s=10,v=10", 400},
        {"f=24,s=2,v=2", 12},
        {"o=z,f=32,s=10,v=10", 413},  // deflate's worst case for 400 bytes
        {"f=32,s=0,v=10", 0},
        {"f=100", kittyMaximumDataBytes},
    };
    for (const auto& [keys, limit] : cases) EXPECT_EQ(kittyReadLimit(control(keys)), limit) << keys;
    EXPECT_EQ(kittyPngReadLimit(span(png)), (size_t{1} << 20) + 2 * (3 * 8 + 1) + 13);
    EXPECT_EQ(kittyPngReadLimit(span(png.substr(0, 20))), 0u);
    EXPECT_EQ(kittyPngReadLimit(span(makePng(10001, 1, solidPixels(10001, 1)))), 0u);
}

// A file far larger than the image it claims to be is refused before it is read: the load is
// over as it starts, before its first step has read a byte.
TEST_F(KittyMedia, FilesLargerThanTheImageAreNotRead) {
    const std::string sparse = write("sparse", "");
    std::filesystem::resize_file(sparse, kittyMaximumDataBytes);
    const std::string png = write("png", makePng(1, 1, solidPixels(1, 1)) + std::string(3 << 20, 'x'));
    const std::pair<const char*, std::string> refused[] = {
        {"t=f,f=32,s=1,v=1", sparse}, {"t=f,f=32,s=100,v=100,o=z", sparse}, {"t=f,f=100", png}};
    for (const auto& [keys, path] : refused) {
        KittyPayloadLoader loader(control(keys), span(base64(path)));
        EXPECT_TRUE(loader.finished()) << keys;
        EXPECT_EQ(loader.steps(), 0u) << keys;
        EXPECT_EQ(loader.takeResult().errorMessage, "EINVAL: bad payload") << keys;
    }
    EXPECT_EQ(readKittyFileData(sparse, 0, 0, false, 4), std::nullopt);
    EXPECT_EQ(readKittyFileData(sparse, 0, 4, false, 4), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(load("t=f,f=100,S=" + std::to_string(makePng(1, 1, solidPixels(1, 1)).size()), png).substr(0, 3), "ok:");
}

TEST_F(KittyMedia, TemporaryFilesNeedTheMarkerInTheirNameAndAreDeleted) {
    const std::string plain = write("pixels", "\x0a\x14\x1e");
    const std::string marked = write("tty-graphics-protocol-1", "\x0a\x14\x1e");
    const std::string shortOne = write("tty-graphics-protocol-2", "\x0a\x14");
    std::filesystem::create_directories(dir / "tty-graphics-protocol-folder");
    const std::string inMarkedFolder = write("tty-graphics-protocol-folder/victim", "\x0a\x14\x1e");
    EXPECT_EQ(load("t=t,f=24,s=1,v=1", plain), "EINVAL: bad temp path");
    EXPECT_TRUE(std::filesystem::exists(plain));
    EXPECT_EQ(load("t=t,f=24,s=1,v=1", inMarkedFolder), "EINVAL: bad temp path");
    EXPECT_TRUE(std::filesystem::exists(inMarkedFolder));
    EXPECT_EQ(load("t=t,f=24,s=1,v=1", marked), "ok:\x0a\x14\x1e\xff");
    EXPECT_FALSE(std::filesystem::exists(marked));
    EXPECT_EQ(load("t=t,f=24,s=1,v=1", shortOne), "EINVAL: bad payload");
    EXPECT_FALSE(std::filesystem::exists(shortOne));
    const std::vector<std::pair<std::string, bool>> paths = {
        {"/tmp/x", true},      {"/tmpfoo/x", false}, {"/tmp", false},      {"/dev/shm/x", true},
        {"/dev/shmem/x", false}, {"/home/x", false},  {"/dev/shm", false},
    };
    for (const auto& [path, inside] : paths) EXPECT_EQ(isKittyTempPath(path), inside) << path;
}

// A folder beside the user's temporary folder, whose name merely starts like it, is no
// temporary folder: a marked file there is neither read nor deleted.
TEST_F(KittyMedia, MarkedFileBesideTheTemporaryFolderStays) {
    const std::string base = "/var/tmp/kitty-tmp-" + std::to_string(::getpid());
    const std::filesystem::path temporary = base, beside = base + "verifyprobe";
    std::filesystem::create_directories(temporary);
    std::filesystem::create_directories(beside);
    const auto victim = beside / "tty-graphics-protocol-victim";
    std::ofstream(victim, std::ios::binary) << "\x0a\x14\x1e";
    const auto inside = temporary / "tty-graphics-protocol-image";
    std::ofstream(inside, std::ios::binary) << "\x0a\x14\x1e";
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    ::setenv("TMPDIR", base.c_str(), 1);
    const std::string besideResult = load("t=t,f=24,s=1,v=1", victim.string());
    const std::string insideResult = load("t=t,f=24,s=1,v=1", inside.string());
    if (previous) ::setenv("TMPDIR", saved.c_str(), 1);
    else ::unsetenv("TMPDIR");
    EXPECT_EQ(besideResult, "EINVAL: bad temp path");
    EXPECT_TRUE(std::filesystem::exists(victim));
    EXPECT_EQ(insideResult, "ok:\x0a\x14\x1e\xff");
    EXPECT_FALSE(std::filesystem::exists(inside));
    std::filesystem::remove_all(temporary);
    std::filesystem::remove_all(beside);
}

TEST(KittySharedMemory, ReadsTheRightSizeAndUnlinksWhatItRead) {
    auto make = [](const std::string& name, size_t size) {
        const int fd = ::shm_open(name.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
        std::string content(size, '\x40');
        EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(size));
        ::close(fd);
    };
    auto exists = [](const std::string& name) {
        const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
        if (fd >= 0) ::close(fd);
        return fd >= 0;
    };
    const std::string name = "/vantel-kitty-test-" + std::to_string(::getpid());
    make(name, 16);
    auto good = loadKittyPayload(control("t=s,f=32,s=2,v=2"), span(base64(name)));
    ASSERT_TRUE(good.payload);
    EXPECT_EQ(good.payload->width, 2);
    EXPECT_FALSE(exists(name));

    // Refused unread: the object is left for whoever made it.
    make(name, 12);
    EXPECT_EQ(loadKittyPayload(control("t=s,f=32,s=2,v=2"), span(base64(name))).errorMessage, "EINVAL: bad payload");
    EXPECT_TRUE(exists(name));
    ::shm_unlink(name.c_str());

    // Compressed data is checked by what it inflates to, not by the object's size.
    const std::string compressed = zlibCompress(std::string(400, '\x20'));
    ASSERT_LT(compressed.size(), 400u);
    const int fd = ::shm_open(name.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
    ASSERT_EQ(::write(fd, compressed.data(), compressed.size()), static_cast<ssize_t>(compressed.size()));
    ::close(fd);
    auto inflated = loadKittyPayload(control("t=s,f=32,s=10,v=10,o=z"), span(base64(name)));
    ASSERT_TRUE(inflated.payload) << inflated.errorMessage;
    EXPECT_EQ(inflated.payload->bytes, std::vector<uint8_t>(400, 0x20));
    EXPECT_FALSE(exists(name));

    make(name, 16);
    EXPECT_EQ(loadKittyPayload(control("t=s,f=32"), span(base64(name))).errorMessage, "EINVAL: bad payload");
    EXPECT_TRUE(exists(name));  // refused before it was opened
    EXPECT_EQ(readKittySharedMemory(name, std::nullopt, 4, 8)->size(), 8u);
    EXPECT_FALSE(exists(name));
    EXPECT_EQ(readKittySharedMemory("/../etc/passwd", std::nullopt, 0, 0), std::nullopt);
}

}  // namespace
