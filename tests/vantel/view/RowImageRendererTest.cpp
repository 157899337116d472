#include "vantel/view/RowImageRenderer.h"

#include <gtest/gtest.h>

#include "vantel/view/ImageBand.h"

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Image;
using platform::gfx::Rgba;

namespace {

const RowImageRenderer::Geometry cells{{8, 16}, 1};

// An image whose left half is red and right half blue, top to bottom.
std::vector<uint8_t> halves(int width, int height) {
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::array<uint8_t, 4> p =
                x < width / 2 ? std::array<uint8_t, 4>{255, 0, 0, 255} : std::array<uint8_t, 4>{0, 0, 255, 255};
            out.insert(out.end(), p.begin(), p.end());
        }
    }
    return out;
}

std::shared_ptr<KittyPlacementImage> kitty(std::optional<uint32_t> id, int z) {
    auto image = std::make_shared<KittyPlacementImage>();
    image->kittyImageId = id;
    image->kittyZIndex = z;
    return image;
}

}  // namespace

// Under the text: negative z; over it: the other Kitty images, then the rest in row order. Equal
// z-indices go by image id, an image without id first.
TEST(RowImageRenderer, DrawingOrder) {
    auto band1 = std::make_shared<ImageBand>(Image{}, 8, 16, 0), band2 = std::make_shared<ImageBand>(Image{}, 8, 16, 1);
    TerminalImageList images{kitty(5, 0),  band1, kitty(2, -1), kitty(3, 0), kitty(std::nullopt, 0),
                             kitty(9, -3), band2};
    auto ids = [](const std::vector<const KittyPlacementImage*>& list) {
        std::vector<int> out;
        for (auto* image : list) out.push_back(image->kittyImageId ? int(*image->kittyImageId) : -1);
        return out;
    };
    RowImageRenderer::Lists lists = RowImageRenderer::sort(&images);
    EXPECT_EQ(ids(lists.kittyBelow), (std::vector{9, 2}));
    EXPECT_EQ(ids(lists.kittyAbove), (std::vector{-1, 3, 5}));
    EXPECT_EQ(lists.others, (std::vector<const KittyPlacementImage*>{band1.get(), band2.get()}));
    EXPECT_TRUE(RowImageRenderer::sort(nullptr).others.empty());
}

// A band fills its cells of the row; a Kitty slice of the engine shows its own row of the
// placement's picture; pixel offsets move right and down.
TEST(RowImageRenderer, BandsAndSlicesLandOnTheirRow) {
    Canvas canvas({40, 48}, 1);
    auto band = std::make_shared<ImageBand>(Image::fromRgba(halves(16, 16), 16, 16), 16, 16, 1);
    band->kittyPixelOffsetY = 2;
    auto slice = std::make_shared<KittyPlacementImage>();
    // A picture red above blue, placed over two rows; this is the lower one, on the middle row.
    const std::vector<uint8_t> tall{255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    slice->source = std::make_shared<KittyGraphicsPayload>(KittyGraphicsPayload::rgba(tall, 2, 2));
    slice->col = 3;
    slice->sliceRow = 1;
    slice->pixelWidth = 16;
    slice->pixelHeight = 32;
    const KittyPlacementImage* row0[] = {band.get()};
    const KittyPlacementImage* row1[] = {slice.get()};
    KittyPictureCache pictures;
    RowImageRenderer::draw(row0, 48, cells, canvas, pictures);
    RowImageRenderer::draw(row1, 32, cells, canvas, pictures);
    EXPECT_EQ(canvas.pixel(8, 1), 0u);            // above the offset band
    EXPECT_EQ(canvas.pixel(8, 2), 0xFFFF0000u);   // left half red
    EXPECT_EQ(canvas.pixel(23, 17), 0xFF0000FFu);  // right half blue, two rows into the next row
    EXPECT_EQ(canvas.pixel(30, 28), 0xFF0000FFu);  // the slice's lower half of the picture
    EXPECT_EQ(canvas.pixel(30, 15), 0u);          // clipped to its row
    EXPECT_EQ(canvas.pixel(30, 32), 0u);
    EXPECT_EQ(pictures.count(), 1u);
    // A payload gone takes its picture with it when the next one is made.
    slice->source = std::make_shared<KittyGraphicsPayload>(KittyGraphicsPayload::rgba(tall, 2, 2));
    RowImageRenderer::draw(row1, 32, cells, canvas, pictures);
    EXPECT_EQ(pictures.count(), 1u);
}

// Two placeholder cells of a placement two cells wide show the two halves of one fitted picture;
// a cell naming placement 0 takes the first placement that fits it.
TEST(RowImageRenderer, PlaceholderCellsShowTheirPartOfThePicture) {
    KittyGraphicsState state;
    state.imagesById[4].payload =
        std::make_shared<KittyGraphicsPayload>(KittyGraphicsPayload::rgba(halves(4, 4), 4, 4));
    auto record = [](uint32_t placement, int cols, int rows, bool alternate) {
        KittyPlacementRecord r;
        r.imageId = 4;
        r.placementId = placement;
        r.cols = cols;
        r.rows = rows;
        r.isVirtual = true;
        r.isAlternateBuffer = alternate;
        return r;
    };
    state.placementsByKey[{4, 1}] = record(1, 1, 1, false);
    state.placementsByKey[{4, 2}] = record(2, 2, 2, false);
    state.placementsByKey[{4, 3}] = record(3, 2, 2, true);
    auto placements = RowImageRenderer::virtualPlacements(state, false);
    ASSERT_EQ(placements[4].size(), 2u);

    // Row 1 of placement 2, columns 0 and 1, on the canvas's top row: the square picture is fitted
    // into the grid of 16 × 32 points, so this row shows the picture's lower half in its top half.
    std::vector<KittyPlaceholderCell> row{{0, 0, 4, 0, 1, 0, 0}, {0, 1, 4, 2, 1, 1, 0}};
    Canvas canvas({16, 32}, 1);
    KittyPictureCache pictures;
    RowImageRenderer::drawPlaceholders(row, placements, state, 16, cells, canvas, pictures);
    EXPECT_EQ(canvas.pixel(3, 4), 0xFFFF0000u);
    EXPECT_EQ(canvas.pixel(12, 4), 0xFF0000FFu);
    EXPECT_EQ(canvas.pixel(3, 12), 0u);   // below the fitted picture
    EXPECT_EQ(canvas.pixel(3, 20), 0u);   // clipped to the cell
}
