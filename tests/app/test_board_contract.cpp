// One contract for every Board: the test board that the core suites run on
// and the Qt board over the real window must behave alike, or what the core
// suites prove says nothing about the console. The same cases run against
// both; the binding of every control id is checked against the window.
#include "test_window_support.h"

#include <stdexcept>

#include "app/control_ids.h"
#include "support/fake_board.h"

namespace vq::test {
namespace {

class FakeSubject {
public:
    Board& board() { return board_; }

private:
    FakeBoard board_;
};

class QtSubject {
public:
    QtSubject() : window_(events_), board_(window_) { window_.show(); }
    Board& board() { return board_; }

private:
    RecordingEvents events_;
    MainWindow window_;
    QtBoard board_;
};

template <class Subject>
class BoardContract : public ::testing::Test {
protected:
    Subject subject;
    Board& board = subject.board();
};

struct SubjectName {
    template <class T>
    static std::string GetName(int) { return std::is_same_v<T, FakeSubject> ? "FakeBoard" : "QtBoard"; }
};
using Subjects = ::testing::Types<FakeSubject, QtSubject>;
TYPED_TEST_SUITE(BoardContract, Subjects, SubjectName);

struct At {
    Ctl id;
    int index;
};

// Every id and index the binding table lists, with its row of the layout.
template <class F>
void forEachBound(F&& f)
{
    for (const ControlBinding& b : controlBindings())
        for (int i = b.first; i <= b.last; ++i) f(b.id, i);
}

TYPED_TEST(BoardContract, TextRoundTrip)
{
    struct Case {
        At at;
        const char* text;
    };
    const Case cases[] = {
        {{Ctl::PortNumber, kNoIndex}, "03"},
        {{Ctl::PortNumber, kNoIndex}, "/dev/pts/7"},
        {{Ctl::BusyWord, kNoIndex}, "-32768"},
        {{Ctl::BusyWord, kNoIndex}, ""},
        {{Ctl::JointAngle, 3}, "123.456"},
        {{Ctl::AlarmCaption, 2}, "2轴:3"},
        {{Ctl::JogKey, 5}, "Z轴+"},
        {{Ctl::PidGainsButton, 1}, "保存中.."},
        {{Ctl::PauseButton, kNoIndex}, "继续"},
        {{Ctl::ProgramEditor, kNoIndex}, "MOVJ J1=1\r\nDELAY MS=5\r\nEND\r\n"},
        {{Ctl::ReceivedFrame, kNoIndex}, "80 03 02 00 01 D9 84"},
        {{Ctl::DirectMoveTarget, 37}, "-0.50"},
    };
    for (const Case& c : cases) {
        this->board.setText(c.at.id, c.at.index, c.text);
        EXPECT_EQ(this->board.text(c.at.id, c.at.index), c.text) << describe(c.at.id, c.at.index);
    }
}

// The program read a slice of lines at a time is the program: each line
// with its CR LF, lone CR and LF inside their line, the last piece bare.
TYPED_TEST(BoardContract, ProgramLinesInSlices)
{
    const std::string texts[] = {
        "MOVJ J1=1\r\nDELAY MS=5\r\nEND\r\n",
        "A\rB\nC\r\n\r\n\u5ef6\u00a0\u2028x\r\nEND",
        "",
    };
    for (const std::string& text : texts) {
        this->board.setText(Ctl::ProgramEditor, kNoIndex, text);
        for (const std::size_t count : {std::size_t{1}, std::size_t{2}, kAllLines}) {
            std::string joined;
            for (std::size_t first = 0; first <= text.size(); first += count) {
                const std::string slice = this->board.textLines(Ctl::ProgramEditor, first, count);
                EXPECT_EQ(slice, textLineSlice(text, first, count)) << first << " " << count;
                joined += slice;
                if (count == kAllLines) break;
            }
            EXPECT_EQ(joined, text) << count;
        }
    }
}

TYPED_TEST(BoardContract, Enabling)
{
    const At controls[] = {{Ctl::JogKey, 3},          {Ctl::RunButton, kNoIndex}, {Ctl::MotionModeButton, 2},
                           {Ctl::EncoderPosition, 4}, {Ctl::BusyWord, kNoIndex},  {Ctl::NewProgramMenu, kNoIndex}};
    for (const At& c : controls) {
        for (bool on : {false, true, false}) {
            this->board.setEnabled(c.id, c.index, on);
            EXPECT_EQ(this->board.enabled(c.id, c.index), on) << describe(c.id, c.index);
        }
    }
}

TYPED_TEST(BoardContract, BackColour)
{
    struct Case {
        At at;
        Colour colour;
    };
    const Case cases[] = {
        {{Ctl::ServoButton, 3}, Colour::green()},       {{Ctl::ServoButton, 3}, Colour::red()},
        {{Ctl::ServoButton, 3}, Colour::buttonFace()},  {{Ctl::ReadyLamp, kNoIndex}, Colour::green()},
        {{Ctl::ReadyLamp, kNoIndex}, Colour::buttonFace()}, {{Ctl::PidKp, 2}, Colour::edited()},
        {{Ctl::PidKp, 2}, Colour::windowBackground()},  {{Ctl::ControlModeButton, 1}, Colour::green()},
    };
    for (const Case& c : cases) {
        this->board.setBackColour(c.at.id, c.at.index, c.colour);
        EXPECT_EQ(this->board.backColour(c.at.id, c.at.index), c.colour) << describe(c.at.id, c.at.index);
    }
}

TYPED_TEST(BoardContract, CheckAndTabValues)
{
    struct Case {
        Ctl id;
        int value;
    };
    const Case cases[] = {{Ctl::StatusReadSwitch, 0}, {Ctl::StatusReadSwitch, 1}, {Ctl::PoseReadSwitch, 0},
                          {Ctl::LoopCheck, 1},        {Ctl::LoopCheck, 0},        {Ctl::ParamTabs, 0},
                          {Ctl::ParamTabs, 3},        {Ctl::ParamTabs, 5}};
    for (const Case& c : cases) {
        this->board.setValue(c.id, kNoIndex, c.value);
        EXPECT_EQ(this->board.value(c.id), c.value) << describe(c.id);
    }
}

TYPED_TEST(BoardContract, Timers)
{
    for (Ctl timer : {Ctl::PollTimer, Ctl::RunnerTimer}) {
        for (int ms : {300, 35, 1}) {
            this->board.setTimerInterval(timer, ms);
            EXPECT_EQ(this->board.timerInterval(timer), ms) << describe(timer);
        }
        for (bool on : {true, false, true, false}) {
            this->board.setTimerEnabled(timer, on);
            EXPECT_EQ(this->board.timerEnabled(timer), on) << describe(timer);
        }
    }
}

TYPED_TEST(BoardContract, SeventhAxisControlsStayDisabled)
{
    int inactive = 0;
    forEachBound([&](Ctl id, int index) {
        const auto d = designerControl(id, index);
        const layout::Control* c = layout::find(d->name, d->index);
        if (!c || !c->has(layout::kInactive)) return;
        ++inactive;
        EXPECT_FALSE(this->board.enabled(id, index)) << describe(id, index);
        this->board.setEnabled(id, index, true);
        EXPECT_FALSE(this->board.enabled(id, index)) << describe(id, index) << " was enabled";
    });
    EXPECT_EQ(inactive, 8); // joint, pose, monitor, encoder and target 7, servo button 7, jog keys 13 and 14
}

// The binding table against the real window: each id and index is a
// control of the window under its designer name, and the window's events
// come back to the same id and index.
TEST_F(WindowTest, EveryBoundControlIsInTheWindow)
{
    int bound = 0;
    forEachBound([&](Ctl id, int index) {
        ++bound;
        const auto d = designerControl(id, index);
        ASSERT_TRUE(d.has_value()) << describe(id, index);
        ASSERT_NE(layout::find(d->name, d->index), nullptr) << describe(id, index);
        QObject* o = window->object(d->name, d->index);
        ASSERT_NE(o, nullptr) << describe(id, index);
        EXPECT_EQ(o->objectName().toStdString(), layout::objectName(d->name, d->index)) << describe(id, index);
        const auto back = boundControl(d->name, d->index);
        ASSERT_TRUE(back.has_value()) << describe(id, index);
        EXPECT_EQ(back->id, id) << describe(id, index);
        EXPECT_EQ(back->index, index) << describe(id, index);
    });
    EXPECT_GT(bound, 200);
}

TEST(FakeBoard, RefusesWhatTheWindowDoesNotHave)
{
    FakeBoard board;
    const At unknown[] = {{Ctl::JointAngle, 8},   {Ctl::JointAngle, 0},   {Ctl::JointAngle, kNoIndex},
                          {Ctl::BusyWord, 1},     {Ctl::ServoButton, 0},  {Ctl::ServoButton, 8},
                          {Ctl::AlarmCaption, 0}, {Ctl::ToolParam, 4},    {Ctl::DirectMoveTarget, 7},
                          {Ctl::JogKey, 15},      {static_cast<Ctl>(kCtlCount), kNoIndex}};
    for (const At& a : unknown) {
        SCOPED_TRACE(describe(a.id, a.index));
        EXPECT_THROW(board.text(a.id, a.index), std::logic_error);
        EXPECT_THROW(board.setText(a.id, a.index, "x"), std::logic_error);
        EXPECT_THROW(board.setEnabled(a.id, a.index, false), std::logic_error);
        EXPECT_THROW(board.backColour(a.id, a.index), std::logic_error);
        EXPECT_THROW(board.setValue(a.id, a.index, 1), std::logic_error);
    }
    EXPECT_THROW(board.setTimerEnabled(Ctl::BusyWord, true), std::logic_error) << "not a timer";
    EXPECT_THROW(board.timerInterval(Ctl::RunButton), std::logic_error) << "not a timer";
    EXPECT_NO_THROW(board.setText(Ctl::DirectMoveTarget, 37, "x"));
}

} // namespace
} // namespace vq::test
