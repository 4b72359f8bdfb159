#pragma once

#include "engine/plainhost.h"

// The least a host must do for the Search and the ship selection: the two lists
// and the criteria, no window, no event loop, no drawing.
using HeadlessHost = Module1::PlainHost;
