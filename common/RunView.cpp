#include "common/RunView.h"

#include <algorithm>

namespace cep {

char RunStateChar(TRunState state) {
    switch (state) {
        case TRunState::Idle:
            return ' ';
        case TRunState::Staging:
            return 'I';
        case TRunState::Merge:
            return 'B';
    }
    return ' ';
}

int TStatusPanel::Percent() const {
    if (FMax <= 0)
        return 0;
    return static_cast<int>(std::clamp<int64_t>(int64_t(FPosition) * 100 / FMax, 0, 100));
}

}  // namespace cep
