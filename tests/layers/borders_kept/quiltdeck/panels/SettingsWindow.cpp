#include "quiltdeck/panels/SettingsWindow.h"

#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/LoginItem.h"
