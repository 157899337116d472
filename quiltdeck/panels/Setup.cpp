#include "quiltdeck/panels/Setup.h"

#include <algorithm>
#include <cctype>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/WorkerPool.h"
#include "quiltdeck/panels/ClaudeFirstRun.h"
#include "quiltdeck/panels/InstallFailure.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"

#ifndef QUILTDECK_CLAUDE_INSTALLER
#define QUILTDECK_CLAUDE_INSTALLER "https://claude.ai/install.sh"
#endif

namespace quiltdeck {

using platform::runtime::MainLoop;

namespace {

std::string_view trimmed(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string lowercased(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

}  // namespace

namespace {

// Lives to the end of the process, as the work it hands out may.
std::shared_ptr<Setup>& sharedSetup() {
    static auto* instance = new std::shared_ptr<Setup>();
    return *instance;
}

}  // namespace

Setup& Setup::shared() {
    auto& instance = sharedSetup();
    if (!instance) instance = make(SetupProbe::loginShell());
    return *instance;
}

void Setup::setShared(std::shared_ptr<Setup> setup) { sharedSetup() = std::move(setup); }

std::shared_ptr<Setup> Setup::make(std::unique_ptr<SetupProbe> probe) {
    return std::shared_ptr<Setup>(new Setup(std::move(probe)));
}

Setup::Setup(std::unique_ptr<SetupProbe> probe) : probe_(std::move(probe)) {}

Setup::~Setup() {
    stopTimer();
    if (codeOffer_) codeOffer_->cancel();
}

std::string_view Setup::name(Stage stage) {
    switch (stage) {
        case Stage::probing: return "probing";
        case Stage::needsInstall: return "needsInstall";
        case Stage::needsLogin: return "needsLogin";
        case Stage::ready: return "ready";
    }
    return "probing";
}

void Setup::announce() { platform::runtime::NotificationCenter::defaultCenter().post(std::string(didChange)); }

void Setup::stopTimer() {
    if (timer_) timer_->cancel();
    timer_ = nullptr;
}

// --- The poll ----------------------------------------------------------------------------

void Setup::start() {
    check();
    stopTimer();
    timer_ = MainLoop::main().scheduleRepeating(pollInterval, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && !(self->stage_ == Stage::ready && self->fullDisk_)) self->check();
    });
}

void Setup::check() {
    // A tick that meets a running probe is dropped, not queued.
    if (checking_ || stopped_) return;
    checking_ = true;
    MainLoop* loop = &MainLoop::main();
    platform::runtime::WorkerPool::shared().submit([self = shared_from_this(), probe = probe_, loop] {
        const SetupProbe::Status status = probe->probe();
        const bool fullDisk = probe->fullDiskAccess();
        loop->post([self, status, fullDisk] { self->apply(status, fullDisk); });
    });
}

void Setup::apply(const SetupProbe::Status& status, bool fullDisk) {
    checking_ = false;
    if (stopped_) return;
    const Stage stage = !status.found ? Stage::needsInstall : status.loggedIn ? Stage::ready : Stage::needsLogin;
    // Another account counts; another sign-in method alone does not.
    const bool changed = stage != stage_ || status.email != email_ || fullDisk != fullDisk_;
    if (fullDisk != fullDisk_) Log::write(std::string("full disk access: ") + (fullDisk ? "true" : "false"));
    fullDisk_ = fullDisk;
    if (stage != stage_) {
        std::string line = "setup stage: ";
        line += name(stage);
        if (status.email) line += " (" + *status.email + ")";
        Log::write(line);
    }
    stage_ = stage;
    email_ = status.email;
    authMethod_ = status.method;
    if (status.found && status.loggedIn && fullDisk) {
        stopTimer();
        answerClaudeFirstRun();
    }
    if (changed) announce();
}

void Setup::answerClaudeFirstRun() { ClaudeFirstRun::answer(); }

// --- Jobs ---------------------------------------------------------------------------------

std::string_view Setup::installerAddress() { return QUILTDECK_CLAUDE_INSTALLER; }

std::string Setup::installScript(std::string_view address) {
    const std::string url = ShellCommand::quoteForShell(address);
    // A download that fails must not run, in whole or in part: it is fetched
    // to a file first, and run only when it is whole and looks like a script.
    // The background runs and `wait` let a cancel's TERM reach the traps at
    // once, so the file goes also then.
    // curl says why it failed on its own (-S); wget is quiet, so the job says that it failed
    // and its status, which tells the cause (InstallFailure reads both).
    std::string script =
        "f=$(mktemp \"${TMPDIR:-/tmp}/quiltdeck-install.XXXXXXXX\") || exit 1\n"
        "trap 'rm -f \"$f\"' EXIT\n"
        "trap 'exit 143' TERM HUP INT\n"
        "d=curl\n"
        "if command -v curl >/dev/null 2>&1; then\n"
        "  curl -fsSL --proto =https --proto-redir =https --connect-timeout 15 --max-time 600 -o \"$f\" " + url + " &\n"
        "elif command -v wget >/dev/null 2>&1; then\n"
        "  d=wget\n"
        "  wget -q --https-only --tries=1 --timeout=15 -O \"$f\" " + url + " &\n"
        "else\n"
        "  echo '" + std::string(InstallFailure::noDownloader) + "'; exit 127\n"
        "fi\n"
        "wait $! || { s=$?; [ $d = wget ] && echo '" + std::string(InstallFailure::wgetFailed) + "'\"$s)\"; exit $s; }\n"
        "if [ ! -s \"$f\" ] || [ \"$(head -c 2 \"$f\")\" != '#!' ]; then\n"
        "  echo '" + std::string(InstallFailure::notAScript) + "'; exit 65\n"
        "fi\n"
        "bash \"$f\" &\n"
        "wait $!\n";
    return script;
}

std::vector<std::string> Setup::installArguments() {
    return {"/bin/bash", "-lc", installScript(installerAddress())};
}

std::vector<std::string> Setup::loginArguments(bool console) {
    std::string command(ShellCommand::pathExport);
    command += "exec claude auth login";
    if (console) command += " --console";
    return ShellCommand::loginShellArguments(std::move(command));
}

void Setup::install() {
    if (job_ != Job::none) return;
    Log::write("install: started");
    job_ = Job::installing;
    lastError_.reset();
    progress_.clear();
    announce();
    std::weak_ptr<Setup> weak = weak_from_this();
    jobTask_ = JobRun::start(
        {installArguments(), false},
        [weak](std::string line) {
            if (auto self = weak.lock()) self->installLine(std::move(line));
        },
        [weak](int32_t status) {
            if (auto self = weak.lock()) self->installDone(status);
        });
}

void Setup::installLine(std::string line) {
    progress_ = std::move(line);
    announce();
}

void Setup::installDone(int32_t status) {
    job_ = Job::none;
    jobTask_ = nullptr;
    Log::write("install: exited " + std::to_string(status) + ", last line: " + progress_);
    if (status != 0) lastError_ = InstallFailure::text(status, progress_);
    check();
    announce();
}

void Setup::login(bool console) {
    if (job_ != Job::none) return;
    Log::write(console ? "login: started (console)" : "login: started");
    job_ = Job::loggingIn;
    lastError_.reset();
    awaitingCode_ = false;
    loginURL_.reset();
    progress_.clear();
    announce();
    std::weak_ptr<Setup> weak = weak_from_this();
    // The field is offered even when no prompt line was recognised.
    codeOffer_ = MainLoop::main().postAfter(codeOfferDelay, [weak] {
        auto self = weak.lock();
        if (!self || self->job_ != Job::loggingIn || self->awaitingCode_) return;
        self->awaitingCode_ = true;
        self->announce();
    });
    jobTask_ = JobRun::start(
        {loginArguments(console), true},
        [weak](std::string line) {
            if (auto self = weak.lock()) self->loginLine(std::move(line));
        },
        [weak](int32_t status) {
            if (auto self = weak.lock()) self->loginDone(status);
        });
}

void Setup::loginLine(std::string line) {
    if (auto url = JobLines::loginURL(line)) loginURL_ = std::move(url);
    if (lowercased(line).find("paste code") != std::string::npos) awaitingCode_ = true;
    progress_ = std::move(line);
    announce();
}

void Setup::loginDone(int32_t status) {
    job_ = Job::none;
    awaitingCode_ = false;
    jobTask_ = nullptr;
    if (codeOffer_) codeOffer_->cancel();
    codeOffer_ = nullptr;
    Log::write("login: exited " + std::to_string(status));
    if (status != 0) lastError_ = t("ob_login_failed");
    check();
    progress_.clear();
    announce();
}

void Setup::submitCode(std::string_view code) {
    const std::string_view bare = trimmed(code, " \t\r\n");
    if (bare.empty() || job_ != Job::loggingIn || !jobTask_ || !jobTask_->running()) return;
    std::string line(bare);
    line += '\n';
    if (const auto error = jobTask_->send(line)) {
        Log::write("login: could not send code (" + *error + ")");
        return;
    }
    awaitingCode_ = false;
    progress_ = t("ob_checking_code");
    announce();
}

void Setup::cancelJob() {
    if (!jobTask_ || !jobTask_->running()) return;
    Log::write(job_ == Job::installing ? "install: cancelled" : "login: cancelled");
    jobTask_->cancel();
}

void Setup::stop() {
    stopped_ = true;
    stopTimer();
    cancelJob();
}

}  // namespace quiltdeck
