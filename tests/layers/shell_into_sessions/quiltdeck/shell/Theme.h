#pragma once

#include "platform/gfx/Rgba.h"
#include "quiltdeck/sessions/SessionStatus.h"
