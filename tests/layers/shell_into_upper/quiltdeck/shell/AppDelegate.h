#pragma once

#include "quiltdeck/shell/AppMenus.h"
#include "quiltdeck/wall/GridController.h"
