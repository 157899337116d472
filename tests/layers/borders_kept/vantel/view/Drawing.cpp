#include "vantel/view/Drawing.h"

#include "platform/gfx/Canvas.h"
#include "platform/ui/View.h"
#include "vantel/core/Line.h"
