// Text and ByteSet: the program's two byte-string types.
#pragma once

#include <string>

/// A byte string in the GBK code page (936). The empty text stands for an absent one.
using Text = std::string;
/// An owned block of bytes: a download or a whole file, taken byte for byte.
using ByteSet = std::string;
