#include "quiltdeck/shell/Theme.h"

// Beside the file: a name of the shell's own.
#include "Tints.h"
#include <./quiltdeck//sessions/Store.h>
