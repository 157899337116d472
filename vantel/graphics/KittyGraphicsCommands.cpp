// Kitty graphics commands: chunk gathering, dispatch, transmission, put and replies.
#include <algorithm>
#include <utility>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/KittyGraphics.h"

namespace vantel {

size_t KittyGraphics::maximumPendingBytes() const {
    // Bounded by what could be stored, but never below one parser string, so a
    // small cache still takes ordinary images; base64 carries 3 bytes in 4.
    const int64_t cacheLimit = terminal_.options().kittyImageCacheLimitBytes;
    const int64_t stringLimit = static_cast<int64_t>(terminal_.parser().maximumStringLength);
    const int64_t decoded = std::clamp<int64_t>(cacheLimit, stringLimit, kittyMaximumDataBytes);
    return static_cast<size_t>(decoded / 3 * 4 + 8);
}

void KittyGraphics::handleKittyGraphics(std::span<const uint8_t> data) {
    const KittyGraphicsCommand command = parseKittyGraphicsControl(data);
    const KittyGraphicsControl& control = command.control;
    if (control.action == 'd' || control.action == 'D') {
        state_.pending.reset();
        discardingChunks_ = false;
    }
    if (!takeNextChunk(command)) return;

    if (state_.pending) {
        KittyGraphicsPending pending = std::move(*state_.pending);
        state_.pending.reset();
        pending.base64Payload.insert(pending.base64Payload.end(), command.payload.begin(), command.payload.end());
        processKittyGraphics(pending.control, pending.base64Payload);
        return;
    }
    processKittyGraphics(control, command.payload);
}

// Gathers a chunk with m=1; true when the command ends a transfer or stands alone.
bool KittyGraphics::takeNextChunk(const KittyGraphicsCommand& command) {
    const bool more = command.control.more == 1;
    if (discardingChunks_) {
        // The rest of a refused transfer, up to and including its last chunk.
        discardingChunks_ = more;
        return false;
    }
    const size_t gathered = state_.pending ? state_.pending->base64Payload.size() : 0;
    if (gathered + command.payload.size() > maximumPendingBytes()) {
        const KittyGraphicsControl first = state_.pending ? state_.pending->control : command.control;
        state_.pending.reset();
        discardingChunks_ = more;
        sendKittyError(first, "EFBIG: payload too large");
        return false;
    }
    if (!more) return true;
    if (!state_.pending) {
        state_.pending = KittyGraphicsPending{command.control, {command.payload.begin(), command.payload.end()}};
    } else {
        state_.pending->base64Payload.insert(state_.pending->base64Payload.end(), command.payload.begin(),
                                             command.payload.end());
    }
    return false;
}

void KittyGraphics::processKittyGraphics(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload) {
    switch (control.action) {
        case 'q':
            load(std::make_unique<KittyPayloadLoader>(control, base64Payload, KittyPayloadLoader::Medium::inBand), 'q');
            break;
        case 't': handleKittyTransmit(control, base64Payload, false); break;
        case 'T': handleKittyTransmit(control, base64Payload, true); break;
        case 'p': handleKittyPut(control); break;
        case 'd':
        case 'D': handleKittyDelete(control); break;
        default: sendKittyError(control, "EINVAL: unsupported action"); break;
    }
}

void KittyGraphics::handleKittyTransmit(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                        bool display) {
    if (control.imageId && control.imageNumber) {
        sendKittyError(control, "EINVAL: i and I are mutually exclusive");
        return;
    }
    load(std::make_unique<KittyPayloadLoader>(control, base64Payload), display ? 'T' : 't');
}

KittyGraphics::~KittyGraphics() {
    if (nextLoadStep_) nextLoadStep_->cancel();
}

void KittyGraphics::load(std::unique_ptr<KittyPayloadLoader> loader, char action) {
    loadStep(*loader);
    if (!loader->finished() && terminal_.mayHoldInput()) {
        loading_ = std::move(loader);
        loadingAction_ = action;
        terminal_.parser().holdInput();
        scheduleLoadStep();
        return;
    }
    loadToEnd(*loader);
    finishLoad(*loader, action);
}

void KittyGraphics::scheduleLoadStep() {
    // At once, or a little later while a thread reads the medium.
    constexpr double readerPollSeconds = 0.002;
    std::weak_ptr<int> alive = lifetime_;
    nextLoadStep_ = terminal_.scheduler()->scheduleAfter(loading_->waiting() ? readerPollSeconds : 0, [this, alive] {
        if (!alive.expired()) continueLoad();
    });
}

void KittyGraphics::continueLoad() {
    if (!loading_) return;
    loadStep(*loading_);
    if (!loading_->finished()) {
        scheduleLoadStep();
        return;
    }
    nextLoadStep_.reset();
    // Taken first: what the release parses may start another load.
    std::unique_ptr<KittyPayloadLoader> loader = std::move(loading_);
    finishLoad(*loader, loadingAction_);
    terminal_.parser().releaseInput();
}

void KittyGraphics::finishPendingLoad() {
    if (!loading_) return;
    if (nextLoadStep_) std::exchange(nextLoadStep_, nullptr)->cancel();
    std::unique_ptr<KittyPayloadLoader> loader = std::move(loading_);
    loadToEnd(*loader);
    finishLoad(*loader, loadingAction_);
}

void KittyGraphics::loadStep(KittyPayloadLoader& loader) {
    loader.step();
    ++loadFigures_.steps;
    loadFigures_.largestStepWork = std::max(loadFigures_.largestStepWork, loader.largestStepWork());
    if (loader.finished()) loadFigures_.bytesReadAside += loader.bytesReadAside();
}

void KittyGraphics::loadToEnd(KittyPayloadLoader& loader) {
    while (!loader.finished()) {
        if (loader.waiting()) loader.waitForReader();
        loadStep(loader);
    }
}

void KittyGraphics::finishLoad(KittyPayloadLoader& loader, char action) {
    const KittyGraphicsControl& control = loader.control();
    KittyPayloadLoad load = loader.takeResult();
    if (action == 'q') {
        if (load.payload) sendKittyOk(control, control.imageId, control.imageNumber, control.placementId);
        else sendKittyError(control, "EINVAL: bad payload");
        return;
    }
    if (!load.payload) {
        sendKittyError(control, load.errorMessage.empty() ? "EINVAL: bad payload" : load.errorMessage);
        return;
    }
    handleKittyTransmitPayload(control, std::move(*load.payload), action == 'T');
}

void KittyGraphics::handleKittyTransmitPayload(const KittyGraphicsControl& control, KittyGraphicsPayload payload,
                                               bool display) {
    std::optional<uint32_t> imageId = control.imageId;
    std::optional<uint32_t> imageNumber;
    if (control.imageNumber) {
        imageId = nextFreeImageId();
        imageNumber = control.imageNumber;
    }
    auto shared = memory_->hold(std::move(payload));
    if (!imageId) {
        // Shown once, never stored, never answered.
        if (display) displayKittyImage(shared, control, std::nullopt, std::nullopt);
        return;
    }
    storeKittyImage(shared, *imageId, imageNumber);
    if (!display || displayKittyImage(shared, control, imageId, imageNumber)) {
        sendKittyOk(control, imageId, imageNumber, control.placementId);
    }
}

void KittyGraphics::handleKittyPut(const KittyGraphicsControl& control) {
    const KittyGraphicsImage* image = nullptr;
    std::optional<uint32_t> imageId;
    std::optional<uint32_t> imageNumber;
    if (control.imageNumber) {
        if (auto found = state_.imageNumbers.find(*control.imageNumber); found != state_.imageNumbers.end()) {
            image = updateKittyImageAccess(found->second);
            if (image) {
                imageId = found->second;
                imageNumber = control.imageNumber;
            }
        }
    }
    if (!image && control.imageId) {
        image = updateKittyImageAccess(*control.imageId);
        if (image) imageId = control.imageId;
    }
    if (!image) {
        sendKittyError(control, "ENOENT: image not found");
        return;
    }
    // Held here: the display may evict nothing, but the store may rehash.
    auto payload = image->payload;
    if (displayKittyImage(payload, control, imageId, imageNumber)) {
        sendKittyOk(control, imageId, imageNumber, control.placementId);
    }
}

uint32_t KittyGraphics::nextFreeImageId() {
    // Never 0 (no id) and never one in use, so an assigned id cannot replace an image.
    uint32_t id = state_.nextImageId;
    while (id == 0 || state_.imagesById.contains(id) || ledger_->isUsed(id)) ++id;
    state_.nextImageId = id + 1;
    return id;
}

// q=1 silences OK replies, q=2 errors as well.
void KittyGraphics::sendKittyOk(const KittyGraphicsControl& control, std::optional<uint32_t> imageId,
                                std::optional<uint32_t> imageNumber, std::optional<uint32_t> placementId) {
    if (control.suppressResponses != 0) return;
    terminal_.sendResponseParts(terminal_.cc.send8bit ? "\x9f" : "\x1b_",
                                kittyOkReplyText(imageId, imageNumber, placementId), terminal_.st());
}

void KittyGraphics::sendKittyError(const KittyGraphicsControl& control, std::string_view message) {
    if (control.suppressResponses >= 2) return;
    terminal_.sendResponseParts(terminal_.cc.send8bit ? "\x9f" : "\x1b_", kittyErrorReplyText(control, message),
                                terminal_.st());
}

}  // namespace vantel
