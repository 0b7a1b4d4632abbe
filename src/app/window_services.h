// What the window's search, export and site dialogs do: the same search, export and site rules as the commands.
#pragma once

#include "app/reader.h"
#include "platform/window_port.h"

/// The dialogs' services over `reader`'s store and site. `reader` must outlive the window.
platform::WindowServices readerServices(Reader& reader);
