// The window definition: the window's place and its eleven controls.
#pragma once

#include "platform/window_port.h"

/// The window at 50, 50, 694 x 610, with its controls in definition order.
const platform::WindowDefinition& windowDefinition();
