#pragma once

#include "vantel/core/Buffer.h"
#include "vantel/view/TerminalView.h"
