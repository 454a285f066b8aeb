// The pre-run check: each kind of problem a program can hold, where it is
// found and what the operator is told, and programs that hold none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/board.h"
#include "program/program_check.h"

namespace vq {
namespace {

struct Expected {
    std::size_t line, begin, end;
    std::string fragment; // part of the message
};

struct Case {
    const char* name;
    std::string text;
    std::vector<Expected> problems;
};

JointLimits armLimits()
{
    JointLimits l;
    for (std::size_t j = 0; j < 6; ++j) {
        l.highest[j] = 170.0;
        l.lowest[j] = -170.0;
    }
    l.highest[2] = 150.0; // joint 3
    l.lowest[2] = -150.0;
    return l;
}

TEST(ProgramCheck, FindsEveryKindOfProblemWhereItIs)
{
    const std::string J = " J2=0 J3=0 J4=0 J5=0 J6=0";
    const Case cases[] = {
        {"clean program", "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\nMOVJ J1=-1.5e1" + J +
                              "\r\nMOVC X2=1 Y2=2 Z2=3 A2=4 B2=5 C2=6\r\n     X3=1 Y3=2 Z3=3 A3=4 B3=5 C3=6 Ag=90.000\r\n"
                              "DELAY MS=1000\r\n\r\nEND\r\n",
         {}},
        {"lower case keyword", "movj J1=0" + J + "\r\nEND\r\n", {{0, 0, 4, "应为 “MOVJ”"}}},
        {"free text", "hello world\r\nEND\r\n", {{0, 0, 5, "未知指令 “hello”"}}},
        {"leading blank", " MOVJ J1=0" + J + "\r\n", {{0, 0, 5, "行首有空格"}}},
        {"letter O in a number", "MOVJ J1=2O" + J + "\r\n", {{0, 8, 10, "“2O” 不是数字，运行时读作 2"}}},
        {"decimal comma", "MOVJ J1=1,5" + J + "\r\n", {{0, 8, 11, "运行时读作 1"}}},
        {"word for a number", "DELAY MS=abc\r\n", {{0, 9, 12, "不是数字，运行时读作 0"}}},
        {"empty value", "PSPEED RPM= ACC=1 DEC=1\r\n", {{0, 7, 11, "RPM= 没有数值"}}},
        {"blank inside a number", "MOVJ J1=1 2" + J + "\r\n", {{0, 5, 11, "运行时读作 12"}}},
        {"infinite value", "MOVJ J1=1e39" + J + "\r\n", {{0, 8, 12, "无穷大"}}},
        {"missing with nothing before", "MOVJ J1=0 J2=0\r\nMOVJ J3=1\r\n",
         {{0, 0, 4, "缺少 J3= J4= J5= J6="}}}, // told once: from then on they read as 0
        {"missing speed", "LSPEED MMS=100\r\n", {{0, 0, 6, "缺少 ACC= DEC="}}},
        {"via point from the last target", "MOVP X1=1 Y1=1 Z1=1 A1=1 B1=1 C1=1\r\nMOVC\r\n     X3=1 Ag=90\r\n", {}},
        {"via point with nothing before", "MOVC X2=1\r\n     X3=1 Ag=90\r\n", {{0, 0, 4, "缺少 Y2= Z2= A2= B2= C2="}}},
        {"arc angle missing", "MOVC X2=1 Y2=1 Z2=1 A2=1 B2=1 C2=1\r\n     X3=1\r\n", {{1, 0, 9, "缺少 Ag="}}},
        {"arc on the last line", "MOVC X2=1 Y2=1 Z2=1 A2=1 B2=1 C2=1\r\n", {{0, 0, 4, "MOVC 缺少续行"}}},
        {"arc followed by an instruction", "MOVC X2=1 Y2=1 Z2=1 A2=1 B2=1 C2=1\r\nEND\r\n",
         {{0, 0, 4, "下一行不是续行"}, {1, 0, 3, "当作续行"}}},
        {"joint above its limit", "MOVJ J1=0 J2=0 J3=151 J4=0 J5=0 J6=-170\r\n", {{0, 18, 21, "关节 3 的目标 151 超过上限 150"}}},
        {"joint below its limit", "MOVJ J1=-170.5" + J + "\r\n", {{0, 8, 14, "低于下限 -170"}}},
        {"delay of nothing", "DELAY MS=0\r\nDELAY MS=-5\r\n", {{0, 9, 10, "不到 1 毫秒"}, {1, 9, 11, "不到 1 毫秒"}}},
        {"delay beyond a day", "DELAY MS=86400001\r\n", {{0, 9, 17, "24 小时"}}},
        {"tab after the keyword", "MOVJ\tJ1=0" + J + "\r\n", {{0, 4, 5, "此行不会执行"}}},
        {"tab between fields", "DELAY MS=1\tX\r\n", {{0, 10, 11, "制表符"}, {0, 11, 12, "多余的内容 “X”"}}},
        {"lines after END", "END\r\nDELAY MS=1\r\n\r\nEND\r\n", {{1, 0, 10, "END 之后"}, {3, 0, 3, "END 之后"}}},
        {"lone line feed", "DELAY MS=1\nDELAY MS=2\r\n", {{0, 10, 11, "单独的 LF"}}},
        {"lone carriage return", "DELAY MS=1\rDELAY MS=2\r\n", {{0, 10, 11, "单独的 CR"}}},
        {"last line without a line end", "DELAY MS=1\r\nEND", {{1, 0, 3, "没有换行"}}},
        {"key written twice", "DELAY MS=1 MS=2\r\n", {{0, 6, 10, "写了两次"}}},
        {"field of another instruction", "DELAY MS=1 RPM=5\r\n", {{0, 11, 15, "“RPM=” 不是 DELAY 的字段"}}},
        {"continuation without an arc", "     X3=1 Ag=90\r\n", {{0, 0, 15, "前一行不是 MOVC"}}},
    };
    const JointLimits limits = armLimits();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto found = checkProgram(c.text, limits);
        ASSERT_EQ(found.size(), c.problems.size()) << (found.empty() ? std::string() : describeProblem(found[0]));
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].line, c.problems[i].line) << found[i].message;
            EXPECT_EQ(found[i].begin, c.problems[i].begin) << found[i].message;
            EXPECT_EQ(found[i].end, c.problems[i].end) << found[i].message;
            EXPECT_NE(found[i].message.find(c.problems[i].fragment), std::string::npos) << found[i].message;
        }
        // Checked a slice of lines at a time (between poll events), the
        // same problems: an arc's continuation and END carry across slices.
        for (const std::size_t slice : {std::size_t{1}, std::size_t{2}}) {
            ProgramCheck sliced([&](std::size_t first, std::size_t n) { return std::string(textLineSlice(c.text, first, n)); },
                                limits);
            std::size_t steps = 1;
            while (!sliced.step(slice)) ++steps;
            EXPECT_EQ(sliced.takeProblems(), found) << "slices of " << slice;
            std::size_t lines = 0;
            for (auto at = c.text.find("\r\n"); at != std::string::npos; at = c.text.find("\r\n", at + 2)) ++lines;
            EXPECT_GE(steps, lines / slice) << "slices of " << slice;
        }
    }
}

TEST(ProgramCheck, LimitsAreCheckedOnlyOnceKnown)
{
    const std::string program = "MOVJ J1=500 J2=0 J3=0 J4=0 J5=0 J6=0\r\n";
    EXPECT_TRUE(checkProgram(program).empty());
    JointLimits onlyJoint2;
    onlyJoint2.highest[1] = 10.0;
    EXPECT_TRUE(checkProgram(program, onlyJoint2).empty());
    onlyJoint2.highest[0] = 499.5;
    EXPECT_EQ(checkProgram(program, onlyJoint2).size(), 1u);
    JointLimits unset; // a controller whose limits are all zero
    unset.highest.fill(0.0);
    unset.lowest.fill(0.0);
    EXPECT_TRUE(checkProgram(program, unset).empty());
}

TEST(ProgramCheck, ProblemsAreNumberedAsTheEditorNumbersLines)
{
    const auto found = checkProgram("END\r\nmovj\r\n");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(describeProblem(found[0]).rfind("第 2 行：", 0), 0u) << describeProblem(found[0]);
}

} // namespace
} // namespace vq
