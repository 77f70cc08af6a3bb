#include "common/Progress.h"

namespace cep {

double RemainingTime(int32_t done, int32_t total, TTimeOfDay start, const TClock& clock) {
    // No estimate before the first item, nor without a total.
    if (done == 0 || total == 0)
        return 0;
    const double elapsed = clock() - start;
    if (elapsed / total > 0)
        return (clock() - start) / done * (total - done);
    return 0;
}

std::string RemainingText(int32_t done, int32_t total, TTimeOfDay start, const TClock& clock,
                          char timeSeparator) {
    return kRemainingPrefix + FormatHms(RemainingTime(done, total, start, clock), timeSeparator);
}

}  // namespace cep
