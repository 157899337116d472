// A stand-in for curl, first on the search path of a test HOME: it serves the
// assistant CLI's install script, which copies the fake `claude` (named by
// FAKE_CURL_CLAUDE) to ~/.local/bin. Every call's arguments are logged (JSON
// lines) to $HOME/.fake-bin/curl.log.
//
// Variables: FAKE_CURL_FAIL (exit with this status after curl's error line,
// writing nothing; FAKE_CURL_MESSAGE is that line's text), FAKE_CURL_SERVE ("html": a web page; "empty": nothing;
// "cut": the start of the script, then status 18 as for a transfer cut short),
// FAKE_CURL_HANG (never answer), FAKE_CURL_IGNORE_TERM (SIGTERM does nothing).

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string installer() {
    return "#!/bin/bash\n"
           "set -e\n"
           "echo 'Setting up Claude Code...'\n"
           "mkdir -p \"$HOME/.local/bin\"\n"
           "cp \"$FAKE_CURL_CLAUDE\" \"$HOME/.local/bin/claude\"\n"
           "chmod 755 \"$HOME/.local/bin/claude\"\n"
           "echo '\xE2\x9C\x93 Claude Code successfully installed!'\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    {
        const nlohmann::json record = {{"argv", args}, {"pid", ::getpid()}};
        std::ofstream(variable("HOME") + "/.fake-bin/curl.log", std::ios::app) << record.dump() << "\n";
    }
    if (!variable("FAKE_CURL_IGNORE_TERM").empty()) ::signal(SIGTERM, SIG_IGN);
    if (!variable("FAKE_CURL_HANG").empty()) {
        for (;;) ::pause();
    }
    std::string outputPath;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") outputPath = args[i + 1];
    }
    if (const std::string fail = variable("FAKE_CURL_FAIL"); !fail.empty()) {
        const std::string message = variable("FAKE_CURL_MESSAGE");
        std::cerr << "curl: (" << fail << ") " << (message.empty() ? "The requested URL returned error: 404" : message)
                  << "\n";
        return std::atoi(fail.c_str());
    }
    const std::string serve = variable("FAKE_CURL_SERVE");
    std::string body = installer();
    int status = 0;
    if (serve == "html") {
        body = "<!DOCTYPE html>\n<html><body>Moved</body></html>\ntouch \"$HOME/served-page-ran\"\n";
    } else if (serve == "empty") {
        body.clear();
    } else if (serve == "cut") {
        body = body.substr(0, 40);
        status = 18;
    }
    if (outputPath.empty()) {
        std::fwrite(body.data(), 1, body.size(), stdout);
    } else {
        std::ofstream(outputPath, std::ios::binary | std::ios::trunc) << body;
    }
    if (status != 0) std::cerr << "curl: (18) transfer closed with outstanding read data remaining\n";
    return status;
}
