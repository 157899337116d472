#include "quiltdeck/panels/InstallFailure.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The cause in the user's words from the downloader's code; curl's own line after it, the
// installer's last line after its status.
TEST(InstallFailureTest, SaysTheCauseWhereTheLastLineTellsIt) {
    const struct {
        int status;
        const char* lastLine;
        const char* key;
        bool lineFollows;
    } cases[] = {
        {6, "curl: (6) Could not resolve host: claude.ai", "ob_fail_resolve", true},
        {60, "curl: (60) SSL certificate problem: certificate has expired", "ob_fail_tls", true},
        // The installer's own download: curl's code, not the installer's status, tells the cause.
        {1, "curl: (6) Could not resolve host: downloads.example", "ob_fail_resolve", true},
        {99, "curl: (99) Something new", "ob_fail_download", true},
        {4, "install: wget failed (4)", "ob_fail_connect", false},
        {1, "install: wget failed (1)", "ob_fail_download", false},
        {65, "install: download is not a script", "ob_fail_not_script", false},
        {127, "install: neither curl nor wget is installed", "ob_fail_no_downloader", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastLine);
        EXPECT_EQ(InstallFailure::text(c.status, c.lastLine),
                  t(c.key) + (c.lineFollows ? "\n" + std::string(c.lastLine) : ""));
    }
    // What is not the downloader's: the status, and the installer's last words.
    EXPECT_EQ(InstallFailure::text(1, "Unsupported platform"), t("ob_failed_code", {1}) + "\nUnsupported platform");
    EXPECT_EQ(InstallFailure::text(3, "curl: (x) odd"), t("ob_failed_code", {3}) + "\ncurl: (x) odd");
    EXPECT_EQ(InstallFailure::text(-1, ""), t("ob_failed_code", {-1}));
}

// wget, quiet as the job runs it, leaves the job to say that it failed and with what status.
TEST(InstallFailureTest, TheJobSaysWhatWgetCannot) {
    testing::TempFolder bin;
    for (const char* tool : {"mktemp", "rm", "head"}) {
        for (const char* dir : {"/usr/bin/", "/bin/"}) {
            if (fs::exists(std::string(dir) + tool)) {
                fs::create_symlink(std::string(dir) + tool, bin.path() / tool);
                break;
            }
        }
    }
    // No curl on this search path: the job takes wget, which cannot connect.
    testing::writeFile(bin.path() / "wget", "#!/bin/sh\nexit 4\n");
    ::chmod((bin.path() / "wget").c_str(), 0755);
    platform::runtime::ChildProcess::Options process;
    process.arguments = {"/bin/bash", "-c", Setup::installScript("https://example.invalid/install.sh")};
    process.environment = std::vector<std::string>{"PATH=" + bin.path().string(), "TMPDIR=" + bin.path().string()};
    const auto result = ProcessCapture::run(process, 30s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 4);
    EXPECT_EQ(result->output, "install: wget failed (4)\n");
    EXPECT_EQ(InstallFailure::text(result->status, "install: wget failed (4)"), t("ob_fail_connect"));
}

}  // namespace
}  // namespace quiltdeck
