#include <gtest/gtest.h>

#include "program/format.h"

namespace vq {
namespace {

TEST(ProgramFormat, SplitGivesOnePieceMoreThanBreaks)
{
    struct Case {
        std::string_view text;
        std::vector<std::string_view> pieces;
    };
    const Case cases[] = {
        {"", {""}},
        {"END\r\n", {"END", ""}},
        {"A\r\nB\r\n", {"A", "B", ""}},
        {"A\r\nB", {"A", "B"}},
        {"A\nB\r\n", {"A\nB", ""}},      // a bare LF is no break
        {"A\rB\r\r\n", {"A\rB\r", ""}}, // nor a bare CR
        {"\r\n\r\n", {"", "", ""}},
    };
    for (const Case& c : cases) EXPECT_EQ(splitProgramLines(c.text), c.pieces) << c.text;
}

TEST(ProgramFormat, KeywordIsExactTextUpToFirstBlank)
{
    struct Case {
        std::string_view line;
        Keyword keyword;
    };
    const Case cases[] = {
        {"PSPEED RPM=1000", Keyword::Pspeed}, {"LSPEED MMS=1", Keyword::Lspeed}, {"MOVJ J1=0", Keyword::Movj},
        {"MOVP X1=0", Keyword::Movp},         {"MOVL X1=0", Keyword::Movl},      {"MOVC X2=0", Keyword::Movc},
        {"DELAY MS=5", Keyword::Delay},       {"END", Keyword::End},             {"END ", Keyword::End},
        {"movj J1=5", Keyword::None},         {" MOVJ J1=5", Keyword::None},     {"MOVJ\tJ1=5", Keyword::None},
        {"MOVJJ1=5", Keyword::None},          {"", Keyword::None},               {"     X3=1 Ag=2", Keyword::None},
        {"ENDE", Keyword::None},              {"End", Keyword::None},            {"运行", Keyword::None},
    };
    for (const Case& c : cases) EXPECT_EQ(keywordOf(c.line), c.keyword) << '"' << c.line << '"';
}

TEST(ProgramFormat, ValueAfterKey)
{
    struct Case {
        std::string_view line, key, fallback, value;
    };
    const Case cases[] = {
        {"PSPEED RPM=1000 ACC=500 DEC=500 DEC=7", "DEC=", "x", "7"}, // last occurrence counts
        {"PSPEED RPM=1000 ACC=500 DEC=500", "ACC=", "", "500"},
        {"LSPEED MMS=100 ACC=10 DEC=10", "MS=", "9", "100"},          // found inside MMS=
        {"MOVP X1=200.00 Y1=50.00", "X1=", "", "200"},
        {"MOVP X1=-50.50 Y1=50.00", "X1=", "", "-50.5"},
        {"MOVJ J1=1 2 J2=3", "J1=", "", "12"},                        // blanks inside the digits
        {"MOVJ J1=0.000", "J1=", "5", "0"},
        {"PSPEED RPM= ACC=1", "RPM=", "1000", "0"},                   // empty value: 0, not the fallback
        {"PSPEED RPM=", "RPM=", "1000", "0"},
        {"PSPEED RPM=abc", "RPM=", "1000", "0"},
        {"PSPEED ACC=500", "RPM=", "1000", "1000"},                   // missing: fallback unchanged
        {"PSPEED ACC=500", "RPM=", "", ""},
        {"PSPEED rpm=5", "RPM=", "7", "7"},                           // case-sensitive
        {"DELAY MS=1e3", "MS=", "", "1000"},
        {"DELAY MS=1e12", "MS=", "", "1000000000000"},
        {"DELAY MS=1e16", "MS=", "", "1E+16"},
        {"DELAY MS=+2.5x", "MS=", "", "2.5"},
        {"MOVJ J1=0.1", "J1=", "", "0.1"},
        {"MOVJ J1=123456789012345678", "J1=", "", "1.23456789012346E+17"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(valueAfterKey(c.line, c.key, c.fallback), c.value) << c.line << " / " << c.key;
}

} // namespace
} // namespace vq
