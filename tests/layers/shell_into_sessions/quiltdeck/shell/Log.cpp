#include "quiltdeck/shell/Env.h"
  #  include "quiltdeck/sessions/Store.h"
