#pragma once
// The bench runs on the program's clock.
#include "link/Clock.h"

namespace fd {
using SimClock = Clock;
}  // namespace fd
