#include "quiltdeck/shell/SaveReport.h"

#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Log.h"

namespace quiltdeck {

bool SaveReport::record(bool saved, int error) {
    if (saved == !failing_) return saved;
    failing_ = !saved;
    Log::write(saved ? subject_ + ": saved again" : subject_ + ": save failed: " + writeFailureText(error));
    return saved;
}

}  // namespace quiltdeck
