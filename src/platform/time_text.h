// Times as the program prints them.
#pragma once

#include <string>

namespace platform {

/// A time in seconds since 1970 as local time, "YYYY-MM-DD HH:MM".
std::string localTimeText(long long secondsSinceEpoch);

/// A time in seconds since 1970 in UTC, "YYYY-MM-DDTHH:MM:SSZ".
std::string utcTimeText(long long secondsSinceEpoch);

} // namespace platform
