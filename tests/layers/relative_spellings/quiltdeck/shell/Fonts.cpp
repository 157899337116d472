#include "quiltdeck/shell/Fonts.h"

#include "../sessions/Store.h"
