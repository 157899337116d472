#include "quiltdeck/shell/Tints.h"

// #include "quiltdeck/sessions/Store.h" is gone: comments do not count
#include "quiltdeck/shell/StoredSettings.h"
#include "quiltdeck/sessions/Store.h"
