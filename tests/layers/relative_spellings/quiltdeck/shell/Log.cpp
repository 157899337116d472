#include "quiltdeck/shell/Log.h"

#include "./quiltdeck/sessions/Session.h"
