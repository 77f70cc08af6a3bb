#include "common/TimeOfDay.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace cep {

namespace {
constexpr double kMillisecondsPerDay = 86400000.0;
}

TTimeOfDay MakeTimeOfDay(int hours, int minutes, int seconds, int milliseconds) {
    return (hours * 3600000.0 + minutes * 60000.0 + seconds * 1000.0 + milliseconds) /
           kMillisecondsPerDay;
}

std::tm LocalTime(std::time_t moment) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &moment);
#else
    localtime_r(&moment, &local);
#endif
    return local;
}

TTimeOfDay NowTimeOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int milliseconds = static_cast<int>(
        duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    const std::tm local = LocalTime(seconds);
    return MakeTimeOfDay(local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
}

const TClock& SystemClock() {
    static const TClock clock = &NowTimeOfDay;
    return clock;
}

std::string FormatHms(double duration, char timeSeparator) {
    // The value counts whole milliseconds up to floating-point noise: round to
    // the millisecond, then drop the milliseconds and the whole days.
    const long long total = std::llround(std::fabs(duration) * kMillisecondsPerDay);
    const long long secondsOfDay = (total / 1000) % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld%c%02lld%c%02lld", secondsOfDay / 3600, timeSeparator,
                  secondsOfDay / 60 % 60, timeSeparator, secondsOfDay % 60);
    return text;
}

}  // namespace cep
