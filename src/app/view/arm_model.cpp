#include "arm_model.h"

namespace vq::view {

void ArmModel::pruneTrail()
{
    while (!trail.empty() && trail.front().time < now - kTrailSeconds) trail.pop_front();
}

} // namespace vq::view
