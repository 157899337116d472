#include "quiltdeck/panels/SetupProbe.h"

#include <nlohmann/json.hpp>

#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/shell/Log.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

constexpr int notFound = 127;
constexpr int nestingLimit = 64;

std::optional<std::string> textMember(const nlohmann::json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

class LoginShellProbe : public SetupProbe {
public:
    explicit LoginShellProbe(platform::runtime::Duration timeout) : timeout_(timeout) {}

    Status probe() override {
        platform::runtime::ChildProcess::Options process;
        process.arguments = ShellCommand::loginShellArguments(std::string(ShellCommand::pathExport) + command());
        ProcessCapture::Report report;
        const auto result = ProcessCapture::run(process, timeout_, &report);
        if (!result) {
            // A status command that never ends must not stop the poll for good.
            if (report.ending == ProcessCapture::Ending::terminated || report.ending == ProcessCapture::Ending::killed)
                Log::write("setup: claude auth status timed out, offering install");
            else if (report.ending == ProcessCapture::Ending::outputTooLarge)
                Log::write("setup: claude found but `auth status --json` gave no JSON, offering install");
            return {};
        }
        return statusFrom(result->status, result->output);
    }

    bool fullDiskAccess() override { return true; }

private:
    platform::runtime::Duration timeout_;
};

}  // namespace

std::unique_ptr<SetupProbe> SetupProbe::loginShell(platform::runtime::Duration timeout) {
    return std::make_unique<LoginShellProbe>(timeout);
}

std::string SetupProbe::command() {
    return "command -v claude >/dev/null 2>&1 || exit 127; claude auth status --json";
}

SetupProbe::Status SetupProbe::statusFrom(int exitStatus, std::string_view output) {
    if (exitStatus == notFound) return {};
    auto noJson = [] {
        Log::write("setup: claude found but `auth status --json` gave no JSON, offering install");
        return Status{};
    };
    const size_t brace = output.find('{');
    if (brace == std::string_view::npos || !vantel::isValidUtf8(output)) return noJson();
    const std::string_view text = output.substr(brace);
    const auto document = parseJsonText(text, nestingLimit);
    if (document.is_discarded() || !document.is_object()) return noJson();
    Status status;
    status.found = true;
    const auto loggedIn = document.find("loggedIn");
    status.loggedIn = loggedIn != document.end() && loggedIn->is_boolean() && loggedIn->get<bool>();
    status.email = textMember(document, "email");
    status.method = textMember(document, "authMethod");
    return status;
}

}  // namespace quiltdeck
