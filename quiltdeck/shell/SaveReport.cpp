#include "quiltdeck/shell/SaveReport.h"

#include <cstring>

#include "quiltdeck/shell/Log.h"

namespace quiltdeck {

bool SaveReport::record(bool saved, int error) {
    if (saved == !failing_) return saved;
    failing_ = !saved;
    Log::write(saved ? subject_ + ": saved again" : subject_ + ": save failed: " + std::strerror(error));
    return saved;
}

}  // namespace quiltdeck
