#include "quiltdeck/shell/Lang.h"

#include "quiltdeck/shell/../sessions/Store.h"
