#pragma once

#include <vector>

#include "vantel/core/Cell.h"
