#include "quiltdeck/sessions/Store.h"

#include "quiltdeck/shell/Env.h"
#include "quiltdeck/shell/SessionStatus.h"
#include "quiltdeck/shell/StoredSettings.h"
