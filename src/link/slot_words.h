// What each request is, in the operator's words ("伺服 3轴", "关节目标"):
// for messages about requests that were or were not sent.
#pragma once

#include <string>

#include "slots.h"

namespace vq {

std::string slotWords(Slot slot);

} // namespace vq
