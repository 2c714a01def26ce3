// Experience awards and the level rules that the progress refresh applies.

#include "core.h"

namespace tessaly {

void Core::AwardSponsorClick() {
    Experience += 1000.0;
}

void Core::AwardStatusTextChange() {
    Experience += 0.1 * Level;
}

void Core::AwardProgressChange(std::int32_t progressMax) {
    Experience += static_cast<double>(progressMax) / 4000.0;
}

void Core::AwardDownloadComplete() {
    Experience += Level;
}

void Core::AwardNavigateComplete() {
    Experience += Level;
}

bool Core::ApplyCapRule() {
    if (Level != MaxLevel) {
        return false;
    }
    Experience = 0.0;
    return true;
}

void Core::ApplyLevelUp() {
    // One level per refresh at most; experience is cumulative, nothing is subtracted.
    if (Experience >= Threshold(Level)) {
        Level = Level + 1;
    }
    LoadLevelThreshold();
}

}  // namespace tessaly
