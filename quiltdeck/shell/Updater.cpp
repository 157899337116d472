#include "quiltdeck/shell/Updater.h"

#include "quiltdeck/shell/Log.h"

#ifndef QUILTDECK_UPDATE_FEED
#define QUILTDECK_UPDATE_FEED ""
#endif

namespace quiltdeck {

namespace {

// Nothing in this build fetches or installs updates: a check says so in the log.
class StubController : public Updater::Controller {
public:
    explicit StubController(Updater& updater) : updater_(updater) {}
    void checkForUpdates() override { updater_.didAbortWithError("updates are not available in this build"); }

private:
    Updater& updater_;
};

}  // namespace

std::string_view Updater::buildFeedURL() { return QUILTDECK_UPDATE_FEED; }

Updater& Updater::shared() {
    static Updater* const updater = new Updater(std::string(buildFeedURL()));
    return *updater;
}

Updater::Updater(std::string feedURL) : feedURL_(std::move(feedURL)) {}

Updater::~Updater() = default;

void Updater::start() {
    if (feedURL_.empty() || controller_) return;
    controller_ = std::make_unique<StubController>(*this);
    Log::write("updater: feed " + feedURL_);
}

void Updater::checkForUpdates() {
    if (controller_) controller_->checkForUpdates();
}

void Updater::didFindValidUpdate(const UpdateItem& item) {
    Log::write("updater: update available " + item.displayVersionString);
}

void Updater::didNotFindUpdate() { Log::write("updater: up to date"); }

void Updater::willInstallUpdate(const UpdateItem& item) {
    installing_ = true;
    Log::write("updater: installing " + item.displayVersionString);
}

bool Updater::shouldPostponeRelaunchForUpdate(const UpdateItem&, const std::function<void()>&) {
    installing_ = true;
    return false;
}

void Updater::didAbortWithError(std::string_view localizedDescription) {
    // An update that did not install leaves the quit question as it was.
    installing_ = false;
    Log::write("updater: " + std::string(localizedDescription));
}

}  // namespace quiltdeck
