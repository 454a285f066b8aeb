#include "form_state.h"

#include <stdexcept>

namespace vq {

std::string& FormState::axisPowerWord(int axis)
{
    switch (axis) {
    case 1: return axisPowerWord1;
    case 2: return axisPowerWord2;
    case 3: return axisPowerWord3;
    case 4: return axisPowerWord4;
    case 5: return axisPowerWord5;
    case 6: return axisPowerWord6;
    default: throw std::out_of_range("axis must be 1..6");
    }
}

} // namespace vq
