#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vantel/graphics/KittyGraphicsControl.h"
#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/KittyImageLedger.h"
#include "vantel/graphics/KittyImageMemory.h"
#include "vantel/graphics/KittyImageStore.h"
#include "vantel/graphics/KittyPayloadLoader.h"
#include "vantel/graphics/KittyPlacementImage.h"

namespace vantel {

class Buffer;
class Cancellable;
class Terminal;

// The Kitty graphics protocol of one terminal: commands and replies
// (KittyGraphicsCommands.cpp), the image store (KittyImageStore.cpp), placements
// (KittyPlacements.cpp) and deletion (KittyDeletion.cpp).
class KittyGraphics {
public:
    using KeySet = std::unordered_set<KittyPlacementKey, KittyPlacementKeyHash>;
    using ImageTest = std::function<bool(const KittyPlacementImage&)>;
    using RecordTest = std::function<bool(const KittyPlacementRecord&)>;
    struct Cell {
        int row = 0;  // absolute line index
        int col = 0;
    };
    using Positions = std::unordered_map<KittyPlacementKey, Cell, KittyPlacementKeyHash>;

    // Bounds on what a program can make the store hold, beyond the byte budget of
    // the options: tiny images, records and slices cost memory the budget does not count.
    struct Limits {
        size_t maximumImages = 65'536;
        size_t maximumPlacements = 65'536;
        size_t maximumImagesPerLine = 64;
    };

    explicit KittyGraphics(Terminal& terminal) : terminal_(terminal) {}
    ~KittyGraphics();
    KittyGraphics(const KittyGraphics&) = delete;
    KittyGraphics& operator=(const KittyGraphics&) = delete;

    const Limits& limits() const { return limits_; }
    // Decoded images held by the store and the slices on the lines, all under the image budget.
    const KittyImageMemory& memory() const { return *memory_; }
    const KittyImageLedger& ledger() const { return *ledger_; }
    void setLimits(Limits limits) { limits_ = limits; }
    KittyGraphicsState& state() { return state_; }
    const KittyGraphicsState& state() const { return state_; }
    // Set only while the host is asked to build a placement from an image.
    std::optional<KittyPlacementContext> placementContext;

    // --- Commands and replies (KittyGraphicsCommands.cpp) ---
    // The APC string after its leading 'G'.
    void handleKittyGraphics(std::span<const uint8_t> data);
    void processKittyGraphics(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload);
    void handleKittyTransmit(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                             bool display);
    void handleKittyTransmitPayload(const KittyGraphicsControl& control, KittyGraphicsPayload payload, bool display);
    // A transmission or query whose data takes more than one step goes on in steps on the
    // terminal's scheduler while the terminal holds the output after it (when its host feeds in
    // steps); this finishes it at once.
    void finishPendingLoad();
    bool loading() const { return loading_ != nullptr; }
    // Load steps taken so far, the most work one did (KittyPayloadLoader::stepWork at most), and
    // the bytes read on reading threads.
    struct LoadFigures {
        size_t steps = 0;
        size_t largestStepWork = 0;
        size_t bytesReadAside = 0;
    };
    const LoadFigures& loadFigures() const { return loadFigures_; }
    // Images and lines visited by walks of the whole store or of a buffer's lines (for tests and
    // figures): storing and evicting an image at the store's limits walks nothing.
    uint64_t storeWalkSteps() const { return storeWalkSteps_; }
    void handleKittyPut(const KittyGraphicsControl& control);
    void sendKittyOk(const KittyGraphicsControl& control, std::optional<uint32_t> imageId,
                     std::optional<uint32_t> imageNumber, std::optional<uint32_t> placementId);
    void sendKittyError(const KittyGraphicsControl& control, std::string_view message);
    // The most base64 a chunked transfer may gather before it is refused.
    size_t maximumPendingBytes() const;
    // The next id from the counter that is neither 0 nor in use.
    uint32_t nextFreeImageId();

    // --- Image store (KittyImageStore.cpp) ---
    void storeKittyImage(std::shared_ptr<const KittyGraphicsPayload> payload, uint32_t imageId,
                         std::optional<uint32_t> imageNumber);
    // The stored image, marked as just used; null when none has the id.
    const KittyGraphicsImage* updateKittyImageAccess(uint32_t imageId);
    void enforceKittyImageCacheLimit();
    // Past the budget, frees the least recently used images from the store and the
    // lines alike, all but `keep` (the image just stored or shown).
    void enforceKittyImageMemory(const KittyGraphicsPayload* keep);
    // The cache limit of the options, as a byte count between 0 and 4 GiB.
    int64_t imageBudgetBytes() const;
    // For a picture the host puts on the lines itself (the bands of an inline image): a token
    // each of its pieces keeps in `source`, so its `bytes` count against the budget while any
    // piece lives, and eviction takes the pieces off the lines like Kitty slices.
    std::shared_ptr<const KittyGraphicsPayload> holdShownPicture(int64_t bytes);
    std::unordered_set<uint32_t> collectUsedKittyImageIds();
    void collectUsedKittyImageIds(Buffer& buffer, std::unordered_set<uint32_t>& into);
    void cleanupUnusedKittyImages();
    void removeKittyImageNumbers(uint32_t imageId);
    void clearAllKittyImages();
    void clearKittyImages(Buffer& buffer, bool isAlternateBuffer);

    // --- Placements (KittyPlacements.cpp) ---
    // False after an error was replied.
    bool displayKittyImage(std::shared_ptr<const KittyGraphicsPayload> payload, const KittyGraphicsControl& control,
                           std::optional<uint32_t> imageId, std::optional<uint32_t> imageNumber);
    struct Origin {
        std::optional<int> col;
        std::optional<int> row;
        bool isRelative = false;
        std::optional<std::string> errorMessage;
    };
    Origin resolveKittyPlacementOrigin(const KittyGraphicsControl& control);
    void removeKittyPlacement(uint32_t imageId, uint32_t placementId);
    // Stores the record under its key, replacing the one there; false, and nothing stored, when a
    // new key would pass the bound on records.
    bool recordPlacement(KittyPlacementRecord record);
    Positions collectKittyPlacementPositions(Buffer& buffer);
    std::optional<Cell> resolveKittyPlacementPosition(const KittyPlacementKey& key, const Positions& positions,
                                                      Positions& resolved, KeySet& visiting);
    void updateKittyRelativePlacementsForCurrentBuffer();
    void moveKittyPlacementImages(Buffer& buffer, const KittyPlacementKey& key, int deltaRow, int newTopRow,
                                  int newLeftCol);

    // --- Deletion (KittyDeletion.cpp) ---
    void handleKittyDelete(const KittyGraphicsControl& control);
    void deletePlacementsVisibleOnScreen();
    void deletePlacementsByImageId(uint32_t imageId, std::optional<uint32_t> placementId);
    // 1-based screen cell.
    void deletePlacementsAtCell(int64_t col, int64_t row, std::optional<int64_t> zIndex);
    void deletePlacementsInColumn(int64_t col);
    void deletePlacementsInRow(int64_t row);
    void deletePlacementsWithZIndex(int64_t zIndex);
    void deletePlacementsByImageIdRange(uint32_t min, uint32_t max);
    // Takes the Kitty images passing the test off lines [first, last) of a buffer; with
    // `otherPicturesToo`, the host's other pictures (Sixel bands) as well.
    KeySet removeKittyPlacements(Buffer& buffer, int firstLine, int endLine, const ImageTest& test,
                                 bool otherPicturesToo = false);
    KeySet removePlacementRecords(const RecordTest& test);
    KeySet removeKittyPlacementsByKey(const KeySet& keys);

private:
    // Routine A over lines and B over records, then lines of both buffers for records found only in step B.
    void deletePlacements(const std::vector<Buffer*>& buffers, bool screenOnly, const ImageTest& imageTest,
                          const RecordTest& recordTest);
    bool takeNextChunk(const KittyGraphicsCommand& command);
    // Loads at once or, when it takes more than one step and the terminal may hold its input,
    // in steps; `action` is 't', 'T' or 'q'.
    void load(std::unique_ptr<KittyPayloadLoader> loader, char action);
    void continueLoad();
    void scheduleLoadStep();
    void loadStep(KittyPayloadLoader& loader);
    void loadToEnd(KittyPayloadLoader& loader);
    void finishLoad(KittyPayloadLoader& loader, char action);
    void evictStoredImage(uint32_t imageId);
    bool hasRoomForRecord(const KittyPlacementKey& key) const;
    // False (and an error replied) when a new record would pass the limit.
    bool roomForRecord(const KittyGraphicsControl& control, const KittyPlacementKey& key);
    void attachSlice(Buffer& buffer, std::shared_ptr<KittyPlacementImage> slice, int line);

    Terminal& terminal_;
    KittyGraphicsState state_;
    Limits limits_;
    // Shared with the uses and payloads they hand out, which may outlive this terminal.
    std::shared_ptr<KittyImageLedger> ledger_ = std::make_shared<KittyImageLedger>();
    std::shared_ptr<KittyImageMemory> memory_ = std::make_shared<KittyImageMemory>();
    // The numbers each image was stored with, so that dropping an image finds them at once.
    std::unordered_map<uint32_t, std::vector<uint32_t>> numbersOfImage_;
    // Set after a transfer outgrew its bound: its remaining chunks are dropped unread.
    bool discardingChunks_ = false;
    std::unique_ptr<KittyPayloadLoader> loading_;
    char loadingAction_ = 't';
    std::shared_ptr<Cancellable> nextLoadStep_;
    LoadFigures loadFigures_;
    uint64_t storeWalkSteps_ = 0;
    // Expires with this object: a step already scheduled checks it first.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace vantel
