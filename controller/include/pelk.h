// The controller-access library: board functions and the device object.
#pragma once

#include "pelk_types.h"
#include "pelk_board.h"
#include "pelk_cnc.h"
