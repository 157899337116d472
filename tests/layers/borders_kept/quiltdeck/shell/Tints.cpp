#include "quiltdeck/shell/Tints.h"

#include "platform/gfx/Rgba.h"
#include "quiltdeck/shell/StoredSettings.h"
#include "quiltdeck/shellfish/Store.h"
#include "quiltdeck/shell/sessions/Store.h"
// #include "quiltdeck/sessions/Store.h"
