#include "quiltdeck/shell/LoginItem.h"

#if QUILTDECK_LOGIN
#	include	"quiltdeck/sessions/Store.h"
#endif
