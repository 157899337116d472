#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "vantel/graphics/KittyGraphicsControl.h"
#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/KittyInflater.h"
#include "vantel/graphics/KittyMediumReader.h"

namespace vantel {

// Loads the data of one transmission in steps, so that a large picture (a file of hundreds of
// megabytes, a small stream that inflates to one) never holds the loop for long: each step does
// at most `stepWork` of work, counted as bytes inflated, reading and widening a byte counting a
// quarter of that (about 1.5 ms of a core, well within a delivery pass). A file or object larger
// than one step's reading is read on a thread of its own instead, whose time no one can bound (a
// cold disk, holes the file system fills): steps meanwhile only look whether it is done. A small
// picture loads in one step.
class KittyPayloadLoader {
public:
    static constexpr size_t stepWork = size_t{512} << 10;
    static constexpr size_t cheapWorkPerByte = 4;

    enum class Medium : uint8_t {
        asControlSays,
        // The payload is the data, whatever the medium key says (queries).
        inBand,
    };

    // Starts the load: decodes the payload, or checks and opens the file or object it names.
    // The payload is not kept: the caller's bytes may go once this returns.
    KittyPayloadLoader(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                       Medium medium = Medium::asControlSays);
    ~KittyPayloadLoader();
    KittyPayloadLoader(const KittyPayloadLoader&) = delete;
    KittyPayloadLoader& operator=(const KittyPayloadLoader&) = delete;

    const KittyGraphicsControl& control() const { return control_; }
    // Does one step; true once the load is over and takeResult() holds it.
    bool step();
    bool finished() const { return stage_ == Stage::finished; }
    // The last step found the reading thread still at work: the next is worth taking a little later.
    bool waiting() const { return waiting_; }
    // Blocks until the reading thread, if any, is done (for a load finished at once).
    void waitForReader();
    KittyPayloadLoad takeResult();
    // Every step at once.
    KittyPayloadLoad runToEnd();

    // For tests and benchmarks: steps taken, the most work one of them did, and the bytes read
    // on the reading thread.
    size_t steps() const { return steps_; }
    size_t largestStepWork() const { return largestStepWork_; }
    size_t bytesReadAside() const { return bytesReadAside_; }

private:
    enum class Stage : uint8_t { read, inflate, widen, finished };
    void haveData(std::vector<uint8_t> data);
    void haveRawData(std::vector<uint8_t> data);
    void fail(std::string message);
    // Work of the current stage within `budget`; returns the work done.
    size_t work(size_t budget);
    // Starts reading the rest of the medium on a thread; false when none could be had.
    bool startReadingAside();
    // Takes what the reading thread read, once it is done; false while it reads.
    bool takeReadAside();
    void haveRead();

    struct ReadAside;

    KittyGraphicsControl control_;
    Stage stage_ = Stage::finished;
    std::optional<KittyMediumReader> reader_;
    // Declared after the reader it reads from, so that it stops before the reader goes.
    std::unique_ptr<ReadAside> readAside_;
    bool waiting_ = false;
    size_t bytesReadAside_ = 0;
    std::vector<uint8_t> compressed_;
    std::unique_ptr<KittyInflater> inflater_;
    std::vector<uint8_t> rgb_;
    std::vector<uint8_t> rgba_;
    KittyPayloadLoad result_;
    size_t steps_ = 0;
    size_t largestStepWork_ = 0;
};

}  // namespace vantel
