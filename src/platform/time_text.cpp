// Times as text, over the C library's thread-safe conversions.
#include "platform/time_text.h"

#include <ctime>

namespace platform {
namespace {

std::tm brokenDown(std::time_t time, bool utc)
{
    std::tm parts{};
#ifdef _WIN32
    utc ? gmtime_s(&parts, &time) : localtime_s(&parts, &time);
#else
    utc ? gmtime_r(&time, &parts) : localtime_r(&time, &parts);
#endif
    return parts;
}

std::string timeText(long long secondsSinceEpoch, bool utc, const char* format)
{
    const std::tm parts = brokenDown(static_cast<std::time_t>(secondsSinceEpoch), utc);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

} // namespace

std::string localTimeText(long long secondsSinceEpoch)
{
    return timeText(secondsSinceEpoch, false, "%Y-%m-%d %H:%M");
}

std::string utcTimeText(long long secondsSinceEpoch)
{
    return timeText(secondsSinceEpoch, true, "%Y-%m-%dT%H:%M:%SZ");
}

} // namespace platform
