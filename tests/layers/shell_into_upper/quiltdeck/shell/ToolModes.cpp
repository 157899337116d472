#include "quiltdeck/shell/ToolModes.h"

#include "quiltdeck/panels/IconWriter.h"
#include "quiltdeck/panels/Mark.h"
