#pragma once

// Pango's side of RichText, shared by the neutral layer and the toolkit backend (which hands the
// same attributes to its labels and text views). Not for other users.

#include <pango/pango.h>

#include <memory>
#include <vector>

#include "platform/ui/RichText.h"

namespace platform::ui::pango {

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

struct AttrListDeleter {
    void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};
using AttrListPtr = std::unique_ptr<PangoAttrList, AttrListDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

// Interface text is measured on one context: unhinted metrics, fractional positions, sizes in
// device units (1 pt = 1 pixel at scale 1), so a measure does not depend on where it is drawn.
PangoContext* interfaceContext();
// The same options for a toolkit's own widgets.
void applyInterfaceFontOptions(PangoContext* context);

FontDescriptionPtr fontDescription(const gfx::InterfaceFont& font);
// The run attributes of bytes [begin, end) of the text, indexed from `begin`.
AttrListPtr attributes(const RichText& text, size_t begin, size_t end);

// One paragraph laid out, with where it starts in the text.
struct LaidParagraph {
    LayoutPtr layout;
    RichText::Paragraph paragraph;
    // The lines of this paragraph that are shown (a line limit may cut it).
    int shownLines = 0;
};

// The paragraphs that are shown at these options; each layout is ready to measure or draw.
std::vector<LaidParagraph> layParagraphs(const RichText& text, const TextLayoutOptions& options);

}  // namespace platform::ui::pango

namespace platform::ui {

struct RichText::Laid {
    TextLayoutOptions options;
    std::vector<pango::LaidParagraph> paragraphs;
};

}  // namespace platform::ui
