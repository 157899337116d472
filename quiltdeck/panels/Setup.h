#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/panels/JobRun.h"
#include "quiltdeck/panels/SetupProbe.h"

namespace quiltdeck {

// Whether the assistant CLI can be used from this account: installed and
// reachable through the login shell, and signed in (with which account). Asked
// in the background at `start()` and every 3 seconds until the answers are
// yes; every change the onboarding card shows is announced with `didChange`.
// The same object runs the two onboarding jobs, installing the CLI and
// signing it in. Every member is read and written on the main thread.
class Setup : public std::enable_shared_from_this<Setup> {
public:
    enum class Stage { probing, needsInstall, needsLogin, ready };
    enum class Job { none, installing, loggingIn };

    static constexpr std::string_view didChange = "quiltdeck.setup";
    static constexpr platform::runtime::Duration pollInterval = std::chrono::seconds(3);
    // The code field comes at the latest this long after a sign-in starts.
    static constexpr platform::runtime::Duration codeOfferDelay = std::chrono::seconds(5);

    // The process's setup, asking the CLI through the login shell.
    static Setup& shared();
    // One of its own with the given questions (tests).
    static std::shared_ptr<Setup> make(std::unique_ptr<SetupProbe> probe);
    // Puts another in the process's place (tests); none brings the usual one back.
    static void setShared(std::shared_ptr<Setup> setup);
    ~Setup();
    Setup(const Setup&) = delete;
    Setup& operator=(const Setup&) = delete;

    // Checks at once and (re)starts the poll.
    void start();

    // What the onboarding card shows, taken at once.
    struct Snapshot {
        Stage stage = Stage::probing;
        bool fullDisk = true;
        std::optional<std::string> email;
        Job job = Job::none;
        std::string progress;
        bool awaitingCode = false;
        std::optional<std::string> loginURL;
        std::optional<std::string> lastError;
    };
    Snapshot snapshot() const {
        return {stage_, fullDisk_, email_, job_, progress_, awaitingCode_, loginURL_, lastError_};
    }

    Stage stage() const { return stage_; }
    // No grant is needed for folders here, so this holds unless a probe says otherwise.
    bool fullDisk() const { return fullDisk_; }
    const std::optional<std::string>& email() const { return email_; }
    const std::optional<std::string>& authMethod() const { return authMethod_; }
    Job job() const { return job_; }
    const std::string& progress() const { return progress_; }
    bool awaitingCode() const { return awaitingCode_; }
    const std::optional<std::string>& loginURL() const { return loginURL_; }
    const std::optional<std::string>& lastError() const { return lastError_; }
    bool polling() const { return timer_ != nullptr; }
    bool checking() const { return checking_; }
    // The running job's process, -1 when none runs.
    pid_t jobProcess() const { return jobTask_ && jobTask_->running() ? jobTask_->pid() : -1; }

    // --- Jobs (nothing while one runs) ---------------------------------------------------
    void install();
    void login(bool console);
    // Sends a pasted code, trimmed, with a line feed to the waiting sign-in.
    void submitCode(std::string_view code);
    // Stops the running job and everything it started; its end is reported as
    // any other. Never waits.
    void cancelJob();
    // At quit: the job cancelled, no more checks, and a check under way ignored when it ends.
    void stop();

    // Writes the CLI's first-run answers (see ClaudeFirstRun).
    static void answerClaudeFirstRun();

    static std::string_view name(Stage stage);
    // The address of the CLI's install script (build setting QUILTDECK_CLAUDE_INSTALLER).
    static std::string_view installerAddress();
    // The install job: the script is downloaded to a private file, looked at,
    // run, and removed whatever happens.
    static std::string installScript(std::string_view address);
    static std::vector<std::string> installArguments();
    static std::vector<std::string> loginArguments(bool console);

private:
    explicit Setup(std::unique_ptr<SetupProbe> probe);
    void check();
    void apply(const SetupProbe::Status& status, bool fullDisk);
    void announce();
    void installLine(std::string line);
    void installDone(int32_t status);
    void loginLine(std::string line);
    void loginDone(int32_t status);
    void stopTimer();

    std::shared_ptr<SetupProbe> probe_;
    Stage stage_ = Stage::probing;
    bool fullDisk_ = true;
    std::optional<std::string> email_;
    std::optional<std::string> authMethod_;
    std::shared_ptr<platform::runtime::WorkItem> timer_;
    bool checking_ = false;
    bool stopped_ = false;
    Job job_ = Job::none;
    std::string progress_;
    bool awaitingCode_ = false;
    std::optional<std::string> loginURL_;
    std::optional<std::string> lastError_;
    std::shared_ptr<JobRun> jobTask_;
    std::shared_ptr<platform::runtime::WorkItem> codeOffer_;
};

}  // namespace quiltdeck
