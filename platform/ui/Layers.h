#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/InterfaceFont.h"
#include "platform/gfx/Path.h"
#include "platform/ui/RichText.h"
#include "platform/ui/View.h"

namespace platform::ui {

// Views that only draw, as the parts of an animated picture: they never take the pointer, they
// are flipped (origin at the top left), and the properties they draw by can be animated by key
// path like the opacity (View::addAnimation). Main thread.

// A gradient filling the bounds: along the line from the start point to the end point, or
// outwards from the start point to an ellipse whose radii are the two points' distance along each
// axis. Points are in the unit square of the bounds ((0, 0) top left, (1, 1) bottom right). The
// drawn gradient is kept per pixel size and redrawn only when a property changes.
class GradientLayer : public View {
public:
    enum class Type { axial, radial };

    explicit GradientLayer(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    View* hitTest(Point) override { return nullptr; }

    Type type() const { return type_; }
    void setType(Type type);
    const std::vector<gfx::GradientStop>& stops() const { return stops_; }
    void setStops(std::vector<gfx::GradientStop> stops);
    Point startPoint() const { return start_; }
    Point endPoint() const { return end_; }
    void setPoints(Point start, Point end);

    // Shown at its opacity by one composite of the kept pixels, never through a layer.
    bool drawsItsOpacity() const override { return true; }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    void forget() { cache_.reset(); }

    Type type_ = Type::axial;
    std::vector<gfx::GradientStop> stops_;
    Point start_{0.5, 0};
    Point end_{0.5, 1};
    // Drawn where the bounds fall on the device pixels: the fraction of a pixel they start at
    // (none where the canvas turns or mirrors them, and the image is scaled in).
    struct Cache {
        gfx::Image image;
        Size size;
        double scale = 0;
        std::optional<Point> phase;
    };
    std::optional<Cache> cache_;
};

// A path filled and stroked, shown between two fractions of its length (strokeStart,
// strokeEnd), turned about the bounds' centre, with an optional shadow of what is drawn. The
// shadow is the drawn shape blurred, kept for the process per shape, stretch, size and scale.
class ShapeLayer : public View {
public:
    // Animatable key paths.
    static constexpr const char* rotationKey = "transform.rotation.z";
    static constexpr const char* strokeStartKey = "strokeStart";
    static constexpr const char* strokeEndKey = "strokeEnd";

    struct Shadow {
        gfx::Rgba color{0, 0, 0, 1};
        double opacity = 0;
        double radius = 3;  // the blur, about twice the deviation of a Gaussian
        friend bool operator==(const Shadow&, const Shadow&) = default;
    };

    explicit ShapeLayer(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    View* hitTest(Point) override { return nullptr; }

    // In the layer's own (flipped) coordinates.
    const gfx::Path& path() const { return path_; }
    void setPath(gfx::Path path);
    const std::optional<gfx::Rgba>& fillColor() const { return fill_; }
    void setFillColor(std::optional<gfx::Rgba> color);
    const std::optional<gfx::Rgba>& strokeColor() const { return stroke_; }
    void setStrokeColor(std::optional<gfx::Rgba> color);
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width);
    gfx::StrokeStyle::Cap lineCap() const { return lineCap_; }
    void setLineCap(gfx::StrokeStyle::Cap cap);
    double strokeStart() const { return strokeStart_; }
    void setStrokeStart(double fraction);
    double strokeEnd() const { return strokeEnd_; }
    void setStrokeEnd(double fraction);
    // Radians, counter-clockwise on screen.
    double rotation() const { return rotation_; }
    void setRotation(double radians);
    const std::optional<Shadow>& shadow() const { return shadow_; }
    void setShadow(std::optional<Shadow> shadow);

    // What is drawn now, animations included.
    double presentationStrokeStart() const;
    double presentationStrokeEnd() const;
    double presentationRotation() const;

    // Shown at its opacity from its kept picture while nothing turns or stretches it; through a
    // layer of its own otherwise.
    bool drawsItsOpacity() const override { return true; }
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    // Draws the shape turned about the centre, with its shadow made for `scale` pixels a point.
    void drawTurned(gfx::Canvas& canvas, double scale, const gfx::Path& shape, double start, double end,
                    double rotation) const;
    // Draws with the flipped canvas of the layer: shadow, fill, stroke.
    void drawShape(gfx::Canvas& canvas, const gfx::Path& shape) const;
    // The blurred shape, cut to its ink and a ring of clear pixels when it keeps that far from the
    // edges (whole otherwise), and where that piece lies in the whole image of the bounds.
    struct ShadowPiece {
        gfx::Image image;
        int x = 0, y = 0;
        int wholeWidth = 0, wholeHeight = 0;
        // Cut, with clear pixels all round.
        bool clearEdges = false;
    };
    const ShadowPiece& shadowImage(const gfx::Path& shape, double start, double end, double scale) const;
    static ShadowPiece inkedPiece(gfx::Image image);

    gfx::Path path_;
    uint64_t pathSignature_ = 0;
    std::optional<gfx::Rgba> fill_;
    std::optional<gfx::Rgba> stroke_;
    double lineWidth_ = 1;
    gfx::StrokeStyle::Cap lineCap_ = gfx::StrokeStyle::Cap::butt;
    double strokeStart_ = 0;
    double strokeEnd_ = 1;
    double rotation_ = 0;
    std::optional<Shadow> shadow_;
    // What a still layer draws, where its bounds fall on the device pixels (as GradientLayer's).
    struct Picture {
        gfx::Image image;
        Size size;
        double scale = 0;
        Point phase;
        double start = 0, end = 0, rotation = 0;
    };
    std::optional<Picture> picture_;
};

// One line of text at the top of the bounds, aligned in them, in one font and colour, or styled
// text whose runs (fonts, colours, kerning) Pango lays out as attributes, never as markup. A text
// wider than the bounds runs past them, or is cut with an ellipsis at its end.
class TextLayer : public View {
public:
    explicit TextLayer(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    View* hitTest(Point) override { return nullptr; }

    const std::string& string() const { return string_; }
    void setString(std::string string);
    const gfx::InterfaceFont& font() const { return font_; }
    void setFont(gfx::InterfaceFont font);
    const gfx::Rgba& foregroundColor() const { return color_; }
    void setForegroundColor(gfx::Rgba color);
    TextAlignment alignment() const { return alignment_; }
    void setAlignment(TextAlignment alignment);
    // Styled text in place of the string (which becomes its characters), font and colour.
    const std::optional<RichText>& richText() const { return richText_; }
    void setRichText(RichText text);
    Truncation truncation() const { return truncation_; }
    void setTruncation(Truncation truncation);
    // More than one: the text wraps in the width, up to that many lines, the last one cut.
    int maximumLines() const { return maximumLines_; }
    void setMaximumLines(int lines);
    // Each paragraph on at most this many lines of its own, cut with the truncation's mark (0: no
    // such limit).
    void setLinesPerParagraph(int lines);
    int linesPerParagraph() const { return linesPerParagraph_; }

    RichText shownText() const;
    // The size of the whole line, uncut.
    Size fittingSize() const;
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    std::string string_;
    gfx::InterfaceFont font_ = gfx::InterfaceFont::system(12, gfx::FontWeight::regular);
    gfx::Rgba color_{1, 1, 1, 1};
    TextAlignment alignment_ = TextAlignment::left;
    std::optional<RichText> richText_;
    Truncation truncation_ = Truncation::none;
    int maximumLines_ = 1;
    int linesPerParagraph_ = 0;
    // Laid out once for its options; every change of what is shown forgets it.
    std::shared_ptr<const RichText::Laid> laid_;
    TextLayoutOptions laidFor_;
};

// An image scaled proportionally, up or down, to fit the bounds, centred in them.
class ImageLayer : public View {
public:
    explicit ImageLayer(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    const std::optional<gfx::Image>& image() const { return image_; }
    void setImage(std::optional<gfx::Image> image);
    // Where the image is drawn in the bounds; empty without one.
    Rect imageRect() const;

    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

private:
    std::optional<gfx::Image> image_;
};

// Draws an image into a rectangle of a flipped view's canvas, its top row at the top.
void drawImageFlipped(gfx::Canvas& canvas, const gfx::Image& image, const gfx::Rect& rect);

}  // namespace platform::ui
