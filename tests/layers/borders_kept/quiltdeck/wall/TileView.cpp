#include "quiltdeck/wall/TileView.h"

#include "quiltdeck/panels/ReaderWindow.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/shell/Tints.h"
