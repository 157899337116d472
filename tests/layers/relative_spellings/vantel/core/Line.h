#pragma once

#include "../view/TerminalView.h"
