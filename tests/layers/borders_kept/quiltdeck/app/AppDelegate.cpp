#include "quiltdeck/app/AppDelegate.h"

#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/wall/GridController.h"
