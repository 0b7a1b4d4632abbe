// The texts the window shows, in GBK.
#pragma once

#include "platform/text.h"

namespace messages {

const Text& windowCaption();
const Text& loadingFirstPart();
const Text& loadingSecondPart();
const Text& completion();

} // namespace messages
