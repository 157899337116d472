#include "quiltdeck/shell/Fonts.h"

#include "platform/gfx/ApplicationFonts.h"
#include <quiltdeck/sessions/Store.h>
