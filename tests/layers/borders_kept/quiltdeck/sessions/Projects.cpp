#include "quiltdeck/sessions/Projects.h"

// Relative spellings that stay inside the borders.
#include "Store.h"
#include "../shell/Env.h"
#include "../../quiltdeck/shell/Tints.h"
