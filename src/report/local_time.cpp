#include "report/local_time.h"

#include <cstdio>
#include <ctime>

namespace korvel {

std::string localTimeText() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[local.tm_wday % 7],
                                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                                local.tm_sec, local.tm_year + 1900);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace korvel
