#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

const std::vector<Store::Metric>& WallTile::metrics() const {
    static const std::vector<Store::Metric> none;
    return none;
}

const std::optional<Store::Feed>& WallTile::feed() const {
    static const std::optional<Store::Feed> none;
    return none;
}

}  // namespace quiltdeck
