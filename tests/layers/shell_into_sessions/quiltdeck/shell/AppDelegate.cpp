#include "quiltdeck/shell/AppDelegate.h"

#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/Env.h"
