#pragma once

#include <memory>
#include <optional>
#include <vector>

namespace vantel {

// An image attached to buffer rows. The screen model stores, counts and drops
// these; only renderers and the graphics protocols look inside.
class TerminalImage {
public:
    virtual ~TerminalImage() = default;
};

using TerminalImageList = std::vector<std::shared_ptr<TerminalImage>>;

// An image with an optional size in cells, as handed around by hosts.
class ImageCell {
public:
    explicit ImageCell(std::shared_ptr<TerminalImage> image) : image_(std::move(image)) {}
    const std::shared_ptr<TerminalImage>& image() const { return image_; }
    std::optional<int> width;
    std::optional<int> height;

private:
    std::shared_ptr<TerminalImage> image_;
};

}  // namespace vantel
