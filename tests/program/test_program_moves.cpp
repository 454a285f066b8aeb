// The program's moves as the view draws them, read with the runner's rules.
#include <gtest/gtest.h>

#include "program/program_moves.h"

using namespace vq;

TEST(ProgramMoves, FieldsCarryOverAndMovcTakesItsNextLine)
{
    const std::string text = "PSPEED RPM=1000 ACC=500 DEC=500\r\n"
                             "MOVJ J1=10 J2=20 J3=30 J4=40 J5=50 J6=60\r\n"
                             "MOVP X1=200 Y1=150 Z1=150 A1=180 B1=0 C1=0\r\n"
                             "DELAY MS=100\r\n"
                             "MOVL Y1=50.5\r\n"          // the rest from the MOVP
                             "MOVC X2=250 Y2=0\r\n"      // Z2..C2 from the last target
                             "     X3=200 Y3=-50 Ag=90\r\n" // Z3..C3 from the via point
                             "MOVJ J1=-5\r\n"
                             "END\r\n"
                             "MOVL X1=1\r\n";
    const std::vector<ProgramMove> m = programMoves(text);
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].kind, Keyword::Movj);
    EXPECT_EQ(m[0].line, 1u);
    EXPECT_EQ(m[0].target, (std::array<double, 6>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(m[1].kind, Keyword::Movp);
    EXPECT_EQ(m[1].target, (std::array<double, 6>{200, 150, 150, 180, 0, 0}));
    EXPECT_EQ(m[2].kind, Keyword::Movl);
    EXPECT_EQ(m[2].line, 4u);
    EXPECT_EQ(m[2].target, (std::array<double, 6>{200, 50.5, 150, 180, 0, 0}));
    EXPECT_EQ(m[3].kind, Keyword::Movc);
    EXPECT_EQ(m[3].line, 5u);
    EXPECT_EQ(m[3].via, (std::array<double, 6>{250, 0, 150, 180, 0, 0}));
    EXPECT_EQ(m[3].target, (std::array<double, 6>{200, -50, 150, 180, 0, 0}));
    EXPECT_EQ(m[3].runAngle, 90);
    EXPECT_EQ(m[4].kind, Keyword::Movj);
    EXPECT_EQ(m[4].line, 7u);
    EXPECT_EQ(m[4].target, (std::array<double, 6>{-5, 20, 30, 40, 50, 60}));
}

TEST(ProgramMoves, FreeTextAndAMovcOnTheLastLine)
{
    // Lower case and free text are no instructions; a MOVC without a next
    // line ends on its via point.
    const std::vector<ProgramMove> m = programMoves("movl X1=5\r\nhello\r\nMOVC X2=1 Y2=2 Z2=3 A2=0 B2=0 C2=0");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].kind, Keyword::Movc);
    EXPECT_EQ(m[0].target, m[0].via);
    EXPECT_TRUE(programMoves("").empty());
}
