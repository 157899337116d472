#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quiltdeck {

// What the card says of an install job that failed, from its exit status and
// its last line: the cause in the user's words where the last line is one the
// downloader or the job itself writes (curl's "curl: (6) Could not resolve
// host: …", the job's own "install: …" lines), then the tool's own line as it
// stands; the exit status and the installer's last line otherwise.
class InstallFailure {
public:
    InstallFailure() = delete;

    // The job's own lines (Setup::installScript writes them).
    static constexpr std::string_view notAScript = "install: download is not a script";
    static constexpr std::string_view noDownloader = "install: neither curl nor wget is installed";
    // Followed by wget's exit status and ")": wget -q says nothing of its own.
    static constexpr std::string_view wgetFailed = "install: wget failed (";

    static std::string text(int32_t status, std::string_view lastLine);
};

}  // namespace quiltdeck
