#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "program_fixture.h"

namespace vq::test {
namespace {

void designCaptions(FakeBoard& b)
{
    for (int i = 1; i <= 6; ++i) {
        b.setText(Ctl::JointAngle, i, "0.000" + std::to_string(i));
        b.setText(Ctl::PoseValue, i, "0.000" + std::to_string(i));
    }
}

void viaPoint(FakeBoard& b)
{
    const char* v[] = {"250.00", "0.00", "150.00", "180.00", "0.00", "0.00"};
    for (int i = 0; i < 6; ++i) b.setText(Ctl::PoseValue, i + 1, v[i]);
}

void endPoint(FakeBoard& b)
{
    const char* v[] = {"200.00", "-50.00", "150.00", "180.00", "0.00", "0.00"};
    for (int i = 0; i < 6; ++i) b.setText(Ctl::PoseValue, i + 1, v[i]);
}

TEST(TeachIn, EachButtonAppendsItsLine)
{
    struct Case {
        TeachInKind kind;
        std::function<void(FakeBoard&)> setup;
        std::string line;
    };
    const Case cases[] = {
        {TeachInKind::JointMove, designCaptions, "MOVJ J1=0.0001 J2=0.0002 J3=0.0003 J4=0.0004 J5=0.0005 J6=0.0006\r\n"},
        {TeachInKind::PointMove, designCaptions, "MOVP X1=0.0001 Y1=0.0002 Z1=0.0003 A1=0.0004 B1=0.0005 C1=0.0006\r\n"},
        {TeachInKind::LineMove, viaPoint, "MOVL X1=250.00 Y1=0.00 Z1=150.00 A1=180.00 B1=0.00 C1=0.00\r\n"},
        {TeachInKind::ArcVia, viaPoint, "MOVC X2=250.00 Y2=0.00 Z2=150.00 A2=180.00 B2=0.00 C2=0.00\r\n"},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { endPoint(b); b.setText(Ctl::ArcAngle, kNoIndex, "90"); },
         "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=90.000\r\n"},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { endPoint(b); b.setText(Ctl::ArcAngle, kNoIndex, "12.3456"); },
         "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=12.346\r\n"},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { designCaptions(b); b.setText(Ctl::ArcAngle, kNoIndex, "-30.5"); },
         "     X3=0.0001 Y3=0.0002 Z3=0.0003 A3=0.0004 B3=0.0005 C3=0.0006 Ag=-30.500\r\n"},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { endPoint(b); b.setText(Ctl::ArcAngle, kNoIndex, "abc"); },
         "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=0.000\r\n"},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { endPoint(b); b.setText(Ctl::ArcAngle, kNoIndex, " 1 2.5x"); },
         "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=12.500\r\n"},
        {TeachInKind::PointSpeed,
         [](FakeBoard& b) {
             b.setText(Ctl::PointSpeed, 0, "1000");
             b.setText(Ctl::PointSpeed, 1, " 500 ");
             b.setText(Ctl::PointSpeed, 2, "0 "); // an empty box is refused: its speed was never read
         },
         "PSPEED RPM=1000 ACC= 500  DEC=0 \r\n"},
        {TeachInKind::LinearSpeed,
         [](FakeBoard& b) {
             b.setText(Ctl::LinearSpeed, 0, "100");
             b.setText(Ctl::LinearSpeed, 1, "10");
             b.setText(Ctl::LinearSpeed, 2, "十");
         },
         "LSPEED MMS=100 ACC=10 DEC=十\r\n"},
        {TeachInKind::Delay, [](FakeBoard&) {}, "DELAY MS=\r\n"},
        {TeachInKind::Delay, [](FakeBoard& b) { b.setText(Ctl::DelayMs, kNoIndex, "1000"); }, "DELAY MS=1000\r\n"},
        {TeachInKind::End, [](FakeBoard&) {}, "END\r\n"},
    };
    for (const Case& c : cases) {
        ProgramRig rig;
        c.setup(rig.board);
        rig.setProgram("PSPEED RPM=1\r\n");
        rig.program.teachIn(c.kind);
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "PSPEED RPM=1\r\n" + c.line) << c.line;
        EXPECT_EQ(rig.raisedCount(), 0) << c.line;
    }
}

// A line that would carry no number, or one that is not finite, is not
// appended; the status line says why. So is a pose the console does not
// hold as fresh.
TEST(TeachIn, RefusesWhatIsNotTheArmsNumber)
{
    struct Case {
        TeachInKind kind;
        void (*setup)(FakeBoard&);
        bool fresh;
    };
    const Case cases[] = {
        {TeachInKind::JointMove, [](FakeBoard&) {}, true}, // nothing reported yet: empty read-outs
        {TeachInKind::PointMove, [](FakeBoard& b) { viaPoint(b); b.setText(Ctl::PoseValue, 3, "—"); }, true},
        {TeachInKind::LineMove, [](FakeBoard& b) { viaPoint(b); b.setText(Ctl::PoseValue, 1, "inf"); }, true},
        {TeachInKind::ArcEnd, [](FakeBoard& b) { endPoint(b); b.setText(Ctl::ArcAngle, kNoIndex, "1e999"); }, true},
        {TeachInKind::PointSpeed, [](FakeBoard& b) { b.setText(Ctl::PointSpeed, 1, "1e39"); }, true},
        {TeachInKind::Delay, [](FakeBoard& b) { b.setText(Ctl::DelayMs, kNoIndex, "-1e999"); }, true},
        {TeachInKind::ArcVia, viaPoint, false},
    };
    for (const Case& c : cases) {
        ProgramRig rig;
        c.setup(rig.board);
        rig.program.poseFresh = [fresh = c.fresh] { return fresh; };
        rig.setProgram("PSPEED RPM=1\r\n");
        rig.program.teachIn(c.kind);
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "PSPEED RPM=1\r\n") << int(c.kind);
        EXPECT_EQ(rig.board.text(Ctl::StatusLine).rfind("未录入", 0), 0u) << int(c.kind);
    }
}

TEST(TeachIn, AppendsToTheVeryEndEvenWithoutAClosingBreak)
{
    ProgramRig rig;
    rig.setProgram("MOVJ J1=1");
    rig.program.teachIn(TeachInKind::End);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "MOVJ J1=1END\r\n");
    rig.setProgram("");
    rig.program.teachIn(TeachInKind::End);
    rig.program.teachIn(TeachInKind::End);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "END\r\nEND\r\n");
}

// A program taught with the buttons runs and sends what the displays showed.
TEST(TeachIn, TaughtArcRunsWithTheTaughtPoints)
{
    ProgramRig rig;
    rig.setProgram("");
    viaPoint(rig.board);
    rig.program.teachIn(TeachInKind::ArcVia);
    endPoint(rig.board);
    rig.board.setText(Ctl::ArcAngle, kNoIndex, "90");
    rig.program.teachIn(TeachInKind::ArcEnd);
    rig.program.teachIn(TeachInKind::End);
    rig.clickRun();
    rig.idleTick();
    EXPECT_TRUE(rig.state.due(Slot::ArcMove));
    EXPECT_EQ(rig.payload(Payload::ArcTarget),
              "00 00 7A 43 00 00 00 00 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 "
              "00 00 48 43 00 00 48 C2 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 00 00 B4 42");
}

void initialBoxes(FakeBoard& b)
{
    const std::pair<int, const char*> boxes[] = {
        {1, "200.00"},  {2, "150.00"},  {3, "150"},  {4, "180.00"},  {5, "0.00"},  {6, "0.00"},
        {11, "200.00"}, {12, "50.00"},  {13, "150"}, {14, "180.00"}, {15, "0.00"}, {16, "0.00"},
        {21, "250.00"}, {22, "0.00"},   {23, "150"}, {24, "180.00"}, {25, "0.00"}, {26, "0.00"},
        {31, "200.00"}, {32, "-50.00"}, {33, "150"}, {34, "180.00"}, {35, "0.00"}, {36, "0.00"},
        {37, "0.00"},
    };
    for (auto [i, t] : boxes) b.setText(Ctl::DirectMoveTarget, i, t);
}

TEST(DirectMoves, InitialBoxesSendTheirFloats)
{
    struct Case {
        DirectMoveKind kind;
        Slot slot;
        Payload payload;
        std::string hex;
    };
    const Case cases[] = {
        {DirectMoveKind::Point, Slot::PointMove, Payload::PoseTarget,
         "00 00 48 43 00 00 16 43 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00"},
        {DirectMoveKind::Line, Slot::LinearMove, Payload::PoseTarget,
         "00 00 48 43 00 00 48 42 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00"},
        {DirectMoveKind::Arc, Slot::ArcMove, Payload::ArcTarget,
         "00 00 7A 43 00 00 00 00 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 "
         "00 00 48 43 00 00 48 C2 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 00 00 00 00"},
    };
    for (const Case& c : cases) {
        ProgramRig rig;
        initialBoxes(rig.board);
        SCOPED_TRACE(static_cast<int>(c.slot));
        rig.program.directMove(c.kind);
        EXPECT_EQ(rig.payload(c.payload), c.hex);
        EXPECT_TRUE(rig.state.due(c.slot));
        EXPECT_EQ(rig.raisedCount(), 1);
    }
}

// A box beyond the float range would send infinity: the move sends nothing
// and the status line names the box's text.
TEST(DirectMoves, ANonFiniteBoxSendsNothing)
{
    const std::pair<DirectMoveKind, int> cases[] = {
        {DirectMoveKind::Point, 3}, {DirectMoveKind::Line, 16}, {DirectMoveKind::Arc, 24}, {DirectMoveKind::Arc, 37}};
    for (const auto& [kind, box] : cases) {
        ProgramRig rig;
        initialBoxes(rig.board);
        rig.board.setText(Ctl::DirectMoveTarget, box, "1e39");
        rig.program.directMove(kind);
        EXPECT_EQ(rig.raisedCount(), 0) << box;
        EXPECT_NE(rig.board.text(Ctl::StatusLine).find("1e39"), std::string::npos) << box;
    }
}

TEST(DirectMoves, BoxesAreReadLeniently)
{
    ProgramRig rig;
    initialBoxes(rig.board);
    rig.board.setText(Ctl::DirectMoveTarget, 1, "abc");
    rig.board.setText(Ctl::DirectMoveTarget, 2, " 1 2.5x");
    rig.board.setText(Ctl::DirectMoveTarget, 3, "");
    rig.board.setText(Ctl::DirectMoveTarget, 4, "0.1");
    rig.board.setText(Ctl::DirectMoveTarget, 5, "-1e1");
    rig.program.directMove(DirectMoveKind::Point);
    EXPECT_EQ(rig.payload(Payload::PoseTarget), "00 00 00 00 00 00 48 41 00 00 00 00 CD CC CC 3D 00 00 20 C1 00 00 00 00");
    EXPECT_EQ(rig.payloadFloat(Payload::PoseTarget, 1), 12.5f);
}

TEST(DirectMoves, TwoClicksLeaveOneRequestWithTheLaterValues)
{
    ProgramRig rig;
    initialBoxes(rig.board);
    rig.program.directMove(DirectMoveKind::Point);
    rig.board.setText(Ctl::DirectMoveTarget, 1, "1");
    rig.program.directMove(DirectMoveKind::Point);
    EXPECT_EQ(rig.raisedCount(), 1);
    EXPECT_EQ(rig.payload(Payload::PoseTarget).substr(0, 11), "00 00 80 3F");
    // MOVL shares the payload: whatever was stored last is what goes out.
    rig.program.directMove(DirectMoveKind::Line);
    EXPECT_TRUE(rig.state.due(Slot::PointMove));
    EXPECT_TRUE(rig.state.due(Slot::LinearMove));
    EXPECT_EQ(rig.payload(Payload::PoseTarget).substr(0, 23), "00 00 48 43 00 00 48 42");
}

} // namespace
} // namespace vq::test
