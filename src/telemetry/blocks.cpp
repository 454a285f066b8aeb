#include "blocks.h"

#include "reply_fields.h"

namespace vq {

void applyFields(std::string_view dataHex, Board& board, std::span<const FieldRun> runs)
{
    for (const FieldRun& run : runs) {
        const int regsPerField = run.kind == FieldKind::Float ? 2 : 1;
        for (int i = 0; i < run.count; ++i) {
            const int reg = run.firstReg + i * regsPerField;
            const int index = run.firstIndex + i;
            if (run.kind == FieldKind::Word) {
                if (auto v = wordField(dataHex, reg)) board.setText(run.box, index, DecimalText(*v).view());
            } else {
                if (auto text = floatFieldText(dataHex, reg, run.decimals)) board.setText(run.box, index, *text);
            }
        }
    }
}

void applyCaptions(Board& board, const CaptionRun& run)
{
    for (int i = run.firstIndex; i <= run.lastIndex; ++i) board.setText(run.control, i, run.caption);
}

} // namespace vq
