#include "status_line.h"

namespace vq {

void tell(Board& board, std::string_view text, Notice kind)
{
    board.setText(Ctl::StatusLine, kNoIndex, text);
    board.setBackColour(Ctl::StatusLine, kNoIndex, kind == Notice::Problem ? kProblemGround : Colour::windowBackground());
}

} // namespace vq
