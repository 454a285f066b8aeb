// Every visible caption fits the control that shows it, at the font DPI the
// test runs with. QT_FONT_DPI must be set before the application starts, so
// ctest runs this test once at 96 and once at 144 dpi (tests/app/CMakeLists.txt);
// Qt turns 144 dpi into a device pixel ratio of 1.5 and keeps the layout in
// the same logical pixels.
#include "test_window_support.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTextLayout>

#include <cmath>
#include <map>
#include <string>

#include "app/window/widgets.h"

namespace vq::test {
namespace {

using layout::Control;
using layout::Kind;

// The style option a widget paints with (initStyleOption is protected).
template <class W, class Option>
Option styleOption(const W* w)
{
    struct Peek : W {
        using W::initStyleOption;
    };
    Option option;
    (w->*(&Peek::initStyleOption))(&option);
    return option;
}

// The caption's extent as laid out, and the room the control gives it (both
// in the control's coordinates). It fits when the room holds the text.
struct Fit {
    QRect text;
    QRect room;
};

QRect at(const QRect& room, QSize size)
{
    return {room.topLeft(), size};
}

// A button caption wraps where it has to, between words or Chinese
// characters (CaptionButton); it fits when every line, broken only where a
// line may break, is within the button's contents and all lines within its
// height.
Fit buttonFit(QPushButton* b)
{
    const auto option = styleOption<QPushButton, QStyleOptionButton>(b);
    const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).adjusted(1, 0, -1, 0);
    QTextLayout lines(withoutMnemonics(b->text()), b->font());
    QTextOption wrap(Qt::AlignHCenter);
    wrap.setWrapMode(QTextOption::WordWrap);
    lines.setTextOption(wrap);
    lines.beginLayout();
    qreal width = 0, height = 0;
    for (QTextLine line = lines.createLine(); line.isValid(); line = lines.createLine()) {
        line.setLineWidth(room.width());
        width = std::max(width, line.naturalTextWidth());
        height += line.height();
    }
    lines.endLayout();
    return {at(room, QSize(int(std::ceil(width)), int(std::ceil(height)))), room};
}

Fit labelFit(CaptionLabel* l)
{
    const QRect room = l->contentsRect();
    const QFontMetrics fm = l->fontMetrics();
    switch (l->captionLayout()) {
    case CaptionLabel::Layout::Plain:
        return {at(room, fm.size(0, l->text())), room};
    case CaptionLabel::Layout::WrapAtBlanks:
        return {at(room, fm.size(0, l->wrappedLines().join(u'\n'))), room};
    case CaptionLabel::Layout::Columns: {
        // Each run of the caption stays in the character cells it takes in
        // the caption (two for a Chinese character): the widest overflow.
        Fit worst{at(room, QSize(0, fm.height())), room};
        const int cell = l->cellWidth();
        int column = 0;
        for (const QString& run : l->text().split(u' ')) {
            int cells = 0;
            for (QChar ch : run) cells += ch.unicode() < 0x80 ? 1 : 2;
            const QRect need(room.left() + column * cell, room.top(), fm.horizontalAdvance(run), fm.height());
            const QRect given(need.left(), room.top(), cells * cell, room.height());
            if (need.width() - given.width() > worst.text.width() - worst.room.width()) worst = {need, given};
            column += cells + 1;
        }
        return worst;
    }
    }
    return {};
}

Fit checkBoxFit(QCheckBox* b)
{
    const auto option = styleOption<QCheckBox, QStyleOptionButton>(b);
    const QRect room = b->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, b);
    return {at(room, b->fontMetrics().size(Qt::TextShowMnemonic, b->text())), room};
}

Fit frameFit(QGroupBox* g)
{
    const auto option = styleOption<QGroupBox, QStyleOptionGroupBox>(g);
    return {g->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, g), g->rect()};
}

Fit tabFit(QTabWidget* tabs, int index)
{
    QTabBar* bar = tabs->tabBar();
    // The style pads the text inside the tab, but draws a longer caption
    // centred over the padding: the tab itself is the room.
    const QRect room = bar->tabRect(index);
    return {at(room, bar->fontMetrics().size(Qt::TextShowMnemonic, tabs->tabText(index))), room};
}

std::string show(const QRect& r)
{
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+" +
           std::to_string(r.y());
}

TEST_F(WindowTest, CaptionsFitTheirControls)
{
    // The DPI asked for is the one in force, as a scale factor; the layout
    // stays in the same logical pixels.
    const double ratio = window->devicePixelRatioF();
    if (qEnvironmentVariableIsSet("QT_FONT_DPI")) {
        EXPECT_DOUBLE_EQ(ratio, qEnvironmentVariableIntValue("QT_FONT_DPI") / 96.0);
    }
    EXPECT_EQ(window->centralWidget()->size(), QSize(1181, 716));
    const int dpi = int(std::lround(96 * ratio));

    std::map<std::string, std::string> tooSmall; // object name → what it needs and has
    std::map<Kind, int> checked;
    for (const Control& c : layout::controls()) {
        if (c.caption.empty()) continue;
        QObject* o = window->object(c.name, c.index);
        Fit fit;
        switch (c.kind) {
        case Kind::Button: fit = buttonFit(qobject_cast<QPushButton*>(o)); break;
        case Kind::Label: fit = labelFit(qobject_cast<CaptionLabel*>(o)); break;
        case Kind::CheckBox: fit = checkBoxFit(qobject_cast<QCheckBox*>(o)); break;
        case Kind::Frame: fit = frameFit(qobject_cast<QGroupBox*>(o)); break;
        case Kind::TabPage: {
            auto* tabs = qobject_cast<QTabWidget*>(window->widget(c.parent.name, c.parent.index));
            fit = tabFit(tabs, tabs->indexOf(qobject_cast<QWidget*>(o)));
            break;
        }
        default: continue; // boxes hold values, not captions; menus size themselves
        }
        ++checked[c.kind];
        if (!fit.room.contains(fit.text))
            tooSmall[layout::objectName(c)] =
                "\"" + std::string(c.caption) + "\" needs " + show(fit.text) + ", has " + show(fit.room);
    }
    EXPECT_EQ(checked.size(), 5u);
    EXPECT_GT(checked[Kind::Button] + checked[Kind::Label], 150);

    std::string details;
    for (const auto& [name, detail] : tooSmall) details += "\n  " + name + " " + detail;
    EXPECT_TRUE(tooSmall.empty()) << "captions too large at " << dpi << " dpi:" << details;
}

} // namespace
} // namespace vq::test
