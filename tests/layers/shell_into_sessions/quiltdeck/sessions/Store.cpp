#include "quiltdeck/shell/Env.h"
