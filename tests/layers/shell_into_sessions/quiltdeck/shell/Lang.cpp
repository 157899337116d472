#include "quiltdeck/shell/Lang.h"

#include <atomic>

#include "quiltdeck/sessions/Store.h"  // the stored language
