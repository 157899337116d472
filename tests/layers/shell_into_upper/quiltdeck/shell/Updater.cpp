#include "quiltdeck/shell/Updater.h"

#include "quiltdeck/app/AppDelegate.h"
#include "quiltdeck/shell/Log.h"
