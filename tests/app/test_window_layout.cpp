// The control table of Form1 as data: completeness, containers, captions,
// per-axis rows, fonts, flags and the column headings in front of their boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/layout_table.h"

namespace vq::layout {
namespace {

std::string id(const Control& c)
{
    return objectName(c);
}

std::vector<int> range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(i);
    return v;
}

TEST(LayoutTable, NamesAndIndicesAreUniqueAndEveryParentExists)
{
    std::set<std::pair<std::string_view, int>> seen;
    for (const Control& c : controls()) {
        EXPECT_TRUE(seen.insert({c.name, c.index}).second) << "twice: " << id(c);
        if (c.kind == Kind::Form) {
            EXPECT_TRUE(c.parent.name.empty());
            continue;
        }
        // Containers come before what they hold (the window is built in table order).
        const Control* p = find(c.parent.name, c.parent.index);
        ASSERT_NE(p, nullptr) << id(c) << " in " << c.parent.name;
        EXPECT_TRUE(seen.count({p->name, p->index})) << id(c) << " listed before its container";
        if (c.parent.page >= 0) {
            EXPECT_EQ(p->kind, Kind::TabControl) << id(c);
            std::string tabName(c.parent.name);
            tabName += "Tab";
            EXPECT_NE(find(tabName, c.parent.page), nullptr) << id(c) << " on a missing tab";
        } else if (c.kind == Kind::MenuItem || c.kind == Kind::Separator) {
            EXPECT_EQ(p->kind, Kind::Menu) << id(c);
        } else if (c.kind == Kind::TabPage) {
            EXPECT_EQ(p->kind, Kind::TabControl) << id(c);
        } else {
            EXPECT_TRUE(p->kind == Kind::Form || p->kind == Kind::Frame) << id(c) << " in a " << kindName(p->kind);
        }
    }
}

TEST(LayoutTable, HoldsEveryControlOfTheWindow)
{
    struct Expect {
        const char* name;
        std::vector<int> indices; // empty: not an array
        Kind kind;
    };
    const std::vector<Expect> expected = {
        {"Form1", {}, Kind::Form},
        {"Frame17", {}, Kind::Frame}, {"Combo1", {}, Kind::Combo}, {"Combo2", {}, Kind::Combo}, {"Combo3", {}, Kind::Combo},
        {"Label2", {0, 8, 9, 1, 2, 3, 4, 5, 6, 7}, Kind::Label}, {"Shape1", {}, Kind::Shape},
        {"Command16", {0, 1}, Kind::Button}, {"Timer1", {}, Kind::Timer}, {"MSComm1", {}, Kind::SerialPort},
        {"CommonDialog1", {}, Kind::FileDialog},
        {"Frame6", {}, Kind::Frame}, {"Command31", {}, Kind::Button}, {"Command32", {}, Kind::Button},
        {"Command33", {}, Kind::Button}, {"Command34", {}, Kind::Button}, {"Command35", {}, Kind::Button},
        {"Command36", {}, Kind::Button}, {"Command1", {7, 9, 10}, Kind::Button}, {"Text13", {}, Kind::TextBox},
        {"Command30", {}, Kind::Button},
        {"Frame9", {0, 1}, Kind::Frame}, {"Label3", range(1, 7), Kind::Label},
        {"Frame4", {0}, Kind::Frame}, {"Text1", range(1, 7), Kind::TextBox}, {"Command2", {1, 2, 3}, Kind::Button},
        {"Frame13", {}, Kind::Frame}, {"Label4", range(0, 5), Kind::Label}, {"Text10", {0, 1, 2}, Kind::TextBox},
        {"Command7", {0, 1}, Kind::Button},
        {"Frame28", {}, Kind::Frame}, {"Label9", {0, 1, 2}, Kind::Label}, {"Text21", {0, 1, 2}, Kind::TextBox},
        {"Command23", {0, 1}, Kind::Button},
        {"SSTab1", {}, Kind::TabControl}, {"SSTab1Tab", range(0, 5), Kind::TabPage},
        {"Frame3", {}, Kind::Frame}, {"Text4", range(1, 6), Kind::TextBox}, {"Text5", range(1, 6), Kind::TextBox},
        {"Text6", range(1, 6), Kind::TextBox}, {"Command3", {0, 1}, Kind::Button},
        {"Frame21", {}, Kind::Frame}, {"Image1", {}, Kind::Picture}, {"Text17", range(1, 6), Kind::TextBox},
        {"Frame22", {}, Kind::Frame}, {"Text16", {1, 2, 3}, Kind::TextBox}, {"Command4", {0, 1, 2}, Kind::Button},
        {"Frame11", {}, Kind::Frame}, {"Frame12", {0, 1, 2}, Kind::Frame}, {"Text3", range(1, 6), Kind::TextBox},
        {"Text12", range(1, 6), Kind::TextBox},
        {"Frame20", {}, Kind::Frame}, {"Frame14", {}, Kind::Frame}, {"Text14", range(1, 6), Kind::TextBox},
        {"Text15", range(1, 6), Kind::TextBox},
        {"Frame2", {}, Kind::Frame}, {"Command10", {}, Kind::Button}, {"Command15", {}, Kind::Button},
        {"Command20", {}, Kind::Button}, {"Command6", {}, Kind::Button}, {"Command17", {}, Kind::Button},
        {"Command24", {}, Kind::Button}, {"Frame5", {}, Kind::Frame}, {"Command18", {}, Kind::Button},
        {"Command9", {}, Kind::Button}, {"Text8", {}, Kind::TextBox}, {"Frame26", {}, Kind::Frame},
        {"Command21", {}, Kind::Button}, {"Label7", {}, Kind::Label}, {"Text20", {}, Kind::TextBox},
        {"Frame18", {0, 1}, Kind::Frame}, {"Frame19", {}, Kind::Frame}, {"Command25", {}, Kind::Button},
        {"Command26", {}, Kind::Button}, {"Command27", {}, Kind::Button},
        {"Frame10", {}, Kind::Frame}, {"Text2", {}, Kind::TextBox}, {"Command8", {0, 1}, Kind::Button},
        {"Command5", range(1, 14), Kind::Button},
        {"Frame15", {}, Kind::Frame}, {"Command19", {0, 1, 2}, Kind::Button},
        {"Frame16", {}, Kind::Frame}, {"Command22", {0, 1, 2, 3}, Kind::Button},
        {"SSTab2", {}, Kind::TabControl}, {"SSTab2Tab", {0, 1, 2}, Kind::TabPage},
        {"Text7", {}, Kind::MultiLineText}, {"Timer2", {}, Kind::Timer},
        {"Frame1", {}, Kind::Frame}, {"Text19", {}, Kind::MultiLineText}, {"Frame24", {}, Kind::Frame},
        {"Text18", {}, Kind::MultiLineText}, {"Frame25", {}, Kind::Frame}, {"Check2", {}, Kind::CheckBox},
        {"Check3", {}, Kind::CheckBox},
        {"Frame27", {}, Kind::Frame}, {"Label8", range(0, 6), Kind::Label}, {"Frame7", {}, Kind::Frame},
        {"Label1", range(1, 7), Kind::Label}, {"Frame23", {}, Kind::Frame}, {"Label5", range(1, 7), Kind::Label},
        {"Frame8", {}, Kind::Frame}, {"Check1", {}, Kind::CheckBox}, {"Command14", {}, Kind::Button},
        {"Command13", {}, Kind::Button}, {"Command12", {}, Kind::Button}, {"Timer3", {}, Kind::Timer},
        {"File", {}, Kind::Menu}, {"NewFile", {}, Kind::MenuItem}, {"OpenFile", {}, Kind::MenuItem},
        {"SaveFile", {}, Kind::MenuItem}, {"AsSaveFile", {}, Kind::MenuItem}, {"Exit", {}, Kind::MenuItem},
        {"Setup", {}, Kind::Menu}, {"Help", {}, Kind::Menu}, {"GuanYu", {}, Kind::Menu},
        {"aboutVelquor", {}, Kind::MenuItem},
    };
    for (const Expect& e : expected) {
        const std::vector<int> indices = e.indices.empty() ? std::vector<int>{kNoIndex} : e.indices;
        for (int i : indices) {
            const Control* c = find(e.name, i);
            ASSERT_NE(c, nullptr) << e.name << " " << i;
            EXPECT_EQ(c->kind, e.kind) << e.name << " " << i;
        }
    }
    // Label6: the row captions of every column and the speed and arc captions.
    std::vector<int> label6 = range(0, 58);
    label6.push_back(84);
    for (int i : label6) EXPECT_NE(find("Label6", i), nullptr) << "Label6 " << i;
}

// The captions most easily mistyped: blanks inside captions, full-width
// colons, arrays whose indices run against the axes.
TEST(LayoutTable, CaptionsAndDesignTexts)
{
    struct Case {
        const char* name;
        int index;
        const char* caption;
    };
    const Case cases[] = {
        {"Form1", kNoIndex, "Velquor"}, {"Label2", 9, "串口号："}, {"Combo1", kNoIndex, "01"}, {"Combo3", kNoIndex, "128"},
        {"Frame6", kNoIndex, "伺服状态(开/关)"}, {"Command1", 7, "7轴"}, {"Command1", 9, "全部打开"}, {"Command1", 10, "全部关闭"},
        {"Label6", 58, "X轴:"}, {"Label6", 53, "C轴:"}, {"Label6", 52, "7轴:"}, {"Label6", 27, "1轴:"}, {"Label6", 21, "7轴:"},
        {"Label6", 44, "1轴:"}, {"Label6", 39, "6轴:"}, {"Label6", 28, "2轴:"}, {"Label6", 45, "6轴:"}, {"Label6", 13, "1轴:"},
        {"Label2", 7, "0.0007"}, {"Text1", 4, "-90"}, {"Text1", 6, "90"}, {"Command2", 2, "-90°"},
        {"Label9", 0, "MM_S："}, {"Label4", 5, "Tx："}, {"Label4", 3, "Tz："}, {"Text10", 0, "1000"},
        {"Label6", 1, "2轴 Kp:          Ki:          Kd:"},
        {"Command10", kNoIndex, "点速度 PSPEED"}, {"Command15", kNoIndex, "角度  MOVJ"}, {"Command17", kNoIndex, " 结束   END"},
        {"Label6", 84, "运行角度："}, {"Label7", kNoIndex, "延迟时间ms:"}, {"Label6", 29, "示教速度:"},
        {"Text11", 32, "-50.00"}, {"Text11", 21, "250.00"}, {"Text11", 37, "0.00"}, {"Command5", 1, "J1轴+"}, {"Command5", 14, "J7轴-"},
        {"SSTab1Tab", 5, "运行测试"}, {"SSTab2Tab", 0, "运行文件"}, {"Text7", kNoIndex, ""}, {"Text19", kNoIndex, "Text19"},
        {"Check2", kNoIndex, "电机(状态/编码器位置)"}, {"Label8", 0, "提示 0:正常,1:电压过低,        2:温度过高，3:过载"},
        {"File", kNoIndex, "文件(&F)"}, {"OpenFile", kNoIndex, "打开(O)..."}, {"GuanYu", kNoIndex, "关于(&G)"},
    };
    for (const Case& k : cases) {
        const Control* c = find(k.name, k.index);
        ASSERT_NE(c, nullptr) << k.name << " " << k.index;
        EXPECT_EQ(c->caption, std::string_view(k.caption)) << k.name << " " << k.index;
    }
    // Row captions of every per-axis column read "n轴:" from axis 1 up.
    const std::vector<std::pair<const char*, std::vector<int>>> rows = {
        {"Label6", range(14, 20)}, {"Label6", range(30, 35)}, {"Label6", {46, 47, 48, 49, 50, 51}}, {"Label8", range(1, 6)},
        {"Label6", {13, 12, 11, 10, 9, 8, 7}}, {"Label6", {6, 28, 36, 37, 38, 45}},
    };
    for (const auto& [name, indices] : rows)
        for (std::size_t a = 0; a < indices.size(); ++a)
            EXPECT_EQ(find(name, indices[a])->caption, std::to_string(a + 1) + "轴:") << name << " " << indices[a];
}

TEST(LayoutTable, GivenPositionsAndSizes)
{
    struct Case {
        const char* name;
        int index;
        Rect rect;
    };
    const Case cases[] = {
        {"Form1", kNoIndex, {0, 0, 17715, 10740}},
        {"Frame17", kNoIndex, {120, 0, 8175, 855}}, {"Combo1", kNoIndex, {840, 360, 735, 330}},
        {"Shape1", kNoIndex, {5520, 360, 300, 300}}, {"Command16", 1, {7080, 240, 975, 495}},
        {"Frame6", kNoIndex, {8400, 0, 9255, 855}}, {"Command33", kNoIndex, {1320, 240, 495, 495}},
        {"Command1", 7, {3720, 240, 495, 495}}, {"Text13", kNoIndex, {4920, 360, 735, 315}},
        {"Command1", 9, {8040, 240, 975, 495}},
        {"Frame9", 1, {1920, 960, 1695, 2775}}, {"Frame4", 0, {3600, 960, 2655, 2775}},
        {"Command2", 3, {1560, 2160, 975, 495}}, {"Frame28", kNoIndex, {6360, 3360, 1935, 2295}},
        {"Command7", 1, {960, 1560, 855, 495}},
        {"SSTab1", kNoIndex, {120, 3840, 6135, 4695}}, {"Frame3", kNoIndex, {120, 360, 5895, 4215}},
        {"Label6", 3, {360, 1440, 4935, 315}}, {"Text4", 1, {1200, 2880, 975, 315}}, {"Text5", 6, {2760, 480, 975, 315}},
        {"Text6", 2, {4320, 2400, 975, 315}}, {"Command3", 1, {4800, 3600, 975, 495}},
        {"Image1", kNoIndex, {60, 120, 4320, 4035}}, {"Text17", 5, {120, 240, 975, 315}}, {"Text17", 6, {3360, 1080, 975, 315}},
        {"Frame22", kNoIndex, {2280, 2160, 1575, 1335}}, {"Frame12", 1, {1800, 240, 1695, 3255}},
        {"Command24", kNoIndex, {120, 840, 975, 615}}, {"Frame26", kNoIndex, {2520, 1560, 2295, 1335}},
        {"Text20", kNoIndex, {1200, 840, 975, 375}}, {"Frame19", kNoIndex, {120, 2760, 5895, 1815}},
        {"Text11", 37, {4680, 1380, 855, 315}}, {"Text11", 2, {1920, 300, 975, 315}}, {"Command27", kNoIndex, {4800, 840, 975, 495}},
        {"Frame10", kNoIndex, {6360, 5880, 1935, 4695}}, {"Label6", 29, {120, 360, 840, 255}},
        {"Text2", kNoIndex, {960, 240, 855, 315}}, {"Command8", 1, {960, 600, 855, 495}},
        {"Command5", 13, {120, 1200, 855, 495}}, {"Command5", 1, {120, 4080, 855, 495}}, {"Command5", 4, {960, 3600, 855, 495}},
        {"Command19", 2, {2040, 240, 855, 495}}, {"Command22", 3, {2280, 240, 615, 495}},
        {"SSTab2", kNoIndex, {8400, 960, 9255, 8775}}, {"Text7", kNoIndex, {120, 480, 8985, 8175}},
        {"Frame27", kNoIndex, {240, 480, 2895, 3135}}, {"Frame23", kNoIndex, {4800, 480, 735, 3135}},
        {"Frame8", kNoIndex, {8400, 9840, 9255, 855}}, {"Check1", kNoIndex, {5040, 360, 855, 315}},
        {"Command12", kNoIndex, {8160, 240, 975, 495}},
    };
    for (const Case& k : cases) {
        const Control* c = find(k.name, k.index);
        ASSERT_NE(c, nullptr) << k.name << " " << k.index;
        EXPECT_EQ(c->rect.left, k.rect.left) << k.name << " " << k.index;
        EXPECT_EQ(c->rect.top, k.rect.top) << k.name << " " << k.index;
        EXPECT_EQ(c->rect.width, k.rect.width) << k.name << " " << k.index;
        EXPECT_EQ(c->rect.height, k.rect.height) << k.name << " " << k.index;
    }
}

TEST(LayoutTable, EveryVisibleControlFitsInsideItsContainer)
{
    for (const Control& c : controls()) {
        // The status bar lays out its own fields under the client area.
        if (!isWidget(c.kind) || c.kind == Kind::Form || c.kind == Kind::TabPage || c.kind == Kind::StatusField) continue;
        const Control* p = find(c.parent.name, c.parent.index);
        ASSERT_NE(p, nullptr);
        EXPECT_GE(c.rect.left, 0) << id(c);
        EXPECT_GE(c.rect.top, 0) << id(c);
        EXPECT_GT(c.rect.width, 0) << id(c);
        EXPECT_GT(c.rect.height, 0) << id(c);
        EXPECT_LE(c.rect.left + c.rect.width, p->rect.width) << id(c) << " sticks out of " << id(*p);
        EXPECT_LE(c.rect.top + c.rect.height, p->rect.height) << id(c) << " sticks out of " << id(*p);
    }
}

// Each per-axis column runs from axis 1 at the bottom to the highest axis at
// the top, and a row caption stands on the same row as the value it names.
TEST(LayoutTable, AxisOneIsTheBottomRowOfEveryColumn)
{
    struct Column {
        const char* name;
        std::vector<int> byAxis; // index of axis 1, 2, ...
    };
    const std::vector<Column> columns = {
        {"Label6", range(14, 20)}, {"Label2", range(1, 7)}, {"Label6", {58, 57, 56, 55, 54, 53, 52}}, {"Label3", range(1, 7)},
        {"Label6", {27, 26, 25, 24, 23, 22, 21}}, {"Text1", range(1, 7)}, {"Label6", range(0, 5)}, {"Text4", range(1, 6)},
        {"Text5", range(1, 6)}, {"Text6", range(1, 6)}, {"Label6", range(30, 35)}, {"Text3", range(1, 6)},
        {"Label6", {44, 43, 42, 41, 40, 39}}, {"Text12", range(1, 6)}, {"Label6", {6, 28, 36, 37, 38, 45}},
        {"Text14", range(1, 6)}, {"Label6", range(46, 51)}, {"Text15", range(1, 6)}, {"Label8", range(1, 6)},
        {"Label6", {13, 12, 11, 10, 9, 8, 7}}, {"Label1", range(1, 7)}, {"Label5", range(1, 7)},
        {"Command5", {1, 3, 5, 7, 9, 11, 13}}, {"Command5", {2, 4, 6, 8, 10, 12, 14}},
    };
    for (const Column& col : columns) {
        for (std::size_t a = 1; a < col.byAxis.size(); ++a) {
            const Control* lower = find(col.name, col.byAxis[a - 1]);
            const Control* upper = find(col.name, col.byAxis[a]);
            ASSERT_TRUE(lower && upper) << col.name;
            EXPECT_GT(lower->rect.top, upper->rect.top) << col.name << " axis " << a << " is not below axis " << a + 1;
            EXPECT_EQ(lower->parent, upper->parent) << col.name;
        }
    }
    // Caption column and value column pairs share their rows.
    const std::vector<std::pair<Column, Column>> pairs = {
        {columns[0], columns[1]}, {columns[2], columns[3]}, {columns[4], columns[5]}, {columns[6], columns[7]},
        {columns[10], columns[11]}, {columns[12], columns[13]}, {columns[14], columns[15]}, {columns[16], columns[17]},
        {columns[19], columns[20]}, {columns[19], columns[21]},
    };
    for (const auto& [captions, values] : pairs) {
        for (std::size_t a = 0; a < captions.byAxis.size(); ++a) {
            const Control* c = find(captions.name, captions.byAxis[a]);
            const Control* v = find(values.name, values.byAxis[a]);
            const int cMid = c->rect.top + c->rect.height / 2;
            EXPECT_GE(cMid, v->rect.top) << id(*c) << " beside " << id(*v);
            EXPECT_LE(cMid, v->rect.top + v->rect.height) << id(*c) << " beside " << id(*v);
        }
    }
}

// The headings of a column-heading caption are laid out in character cells
// (120 twips per half-width cell at 10.5 pt bold). Each must stand between
// the previous box of its row and the box it names.
TEST(LayoutTable, ColumnHeadingsStandInFrontOfTheirBoxes)
{
    int labels = 0;
    for (const Control& c : controls()) {
        if (!c.has(kColumns)) continue;
        ++labels;
        ASSERT_EQ(c.font, Font::Bold105) << id(c);
        const int cell = 120;
        std::vector<std::pair<int, int>> headings; // start, end in twips
        int column = 0;
        int blanks = 0;
        // Headings are separated by two blanks or more ("2轴 Kp:" is one).
        for (std::size_t i = 0; i < c.caption.size();) { // decode UTF-8 enough to count cells
            const unsigned char b = static_cast<unsigned char>(c.caption[i]);
            const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (b == ' ') {
                ++blanks;
                ++column;
            } else {
                if (headings.empty() || blanks >= 2) headings.push_back({c.rect.left + column * cell, 0});
                blanks = 0;
                column += b < 0x80 ? 1 : 2;
                headings.back().second = c.rect.left + column * cell;
            }
            i += len;
        }
        std::vector<const Control*> boxes;
        for (const Control& b : controls())
            if (b.kind == Kind::TextBox && b.parent == c.parent && b.rect.top == c.rect.top) boxes.push_back(&b);
        std::sort(boxes.begin(), boxes.end(), [](auto* x, auto* y) { return x->rect.left < y->rect.left; });
        ASSERT_EQ(headings.size(), boxes.size()) << id(c);
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            const int previousEnd = k == 0 ? c.rect.left : boxes[k - 1]->rect.left + boxes[k - 1]->rect.width;
            // One pixel of slack: "Ag:" touches the box before it by design.
            EXPECT_GE(headings[k].first, previousEnd - kTwipsPerPixel) << id(c) << " heading " << k << " hidden by a box";
            EXPECT_LE(headings[k].second, boxes[k]->rect.left) << id(c) << " heading " << k << " overlaps " << id(*boxes[k]);
        }
    }
    EXPECT_EQ(labels, 6 + 4 + 4); // PID rows, two target frames, arc frame
}

TEST(LayoutTable, Fonts)
{
    struct Case {
        const char* name;
        int index;
        Font font;
    };
    const Case cases[] = {
        {"Frame6", kNoIndex, Font::Bold9}, {"Command14", kNoIndex, Font::Bold9}, {"Text4", 1, Font::Bold9},
        {"Check2", kNoIndex, Font::Bold9}, {"Combo1", kNoIndex, Font::Bold9}, {"Label2", 0, Font::Bold9},
        {"Label2", 8, Font::Bold9}, {"Label2", 9, Font::Bold9}, {"Label4", 0, Font::Bold9}, {"Label4", 5, Font::Bold9},
        {"Label7", kNoIndex, Font::Bold9}, {"Label8", 0, Font::Bold9}, {"Label8", 6, Font::Bold9}, {"Label9", 2, Font::Bold9},
        {"Label6", 84, Font::Bold9}, {"Label2", 1, Font::Bold105}, {"Label6", 14, Font::Bold105},
        {"Label1", 3, Font::Bold105}, {"Label5", 1, Font::Bold105}, {"Command31", kNoIndex, Font::Bold105},
        {"Command36", kNoIndex, Font::Bold105}, {"Command1", 7, Font::Bold105}, {"Command1", 9, Font::Bold9},
        {"Text13", kNoIndex, Font::Bold105}, {"Text18", kNoIndex, Font::Bold105}, {"Text19", kNoIndex, Font::Bold105},
        {"Text7", kNoIndex, Font::NSimSunBold105}, {"Label6", 29, Font::Regular9}, {"Command5", 1, Font::Bold9},
    };
    for (const Case& k : cases) {
        const Control* c = find(k.name, k.index);
        ASSERT_NE(c, nullptr) << k.name;
        EXPECT_EQ(c->font, k.font) << k.name << " " << k.index;
    }
}

TEST(LayoutTable, SeventhAxisAndGraphicalButtons)
{
    std::set<std::string> inactive, graphical;
    for (const Control& c : controls()) {
        if (c.has(kInactive)) inactive.insert(id(c));
        if (c.has(kGraphical)) graphical.insert(id(c));
    }
    EXPECT_EQ(inactive, (std::set<std::string>{"Label6_20", "Label6_52", "Label6_21", "Label6_7", "Label2_7", "Label3_7",
                                               "Label1_7", "Label5_7", "Text1_7", "Command5_13", "Command5_14", "Command1_7"}));
    std::set<std::string> expected{"Command31", "Command32", "Command33", "Command34", "Command35", "Command36", "Command1_7"};
    for (int i = 1; i <= 14; ++i) expected.insert("Command5_" + std::to_string(i));
    for (int i = 0; i <= 2; ++i) expected.insert("Command19_" + std::to_string(i));
    for (int i = 0; i <= 3; ++i) expected.insert("Command22_" + std::to_string(i));
    EXPECT_EQ(graphical, expected);
}

TEST(LayoutTable, ColoursOfLabelsAndBoxes)
{
    for (const Control& c : controls()) {
        const bool value = (c.name == "Label1" || c.name == "Label2" || c.name == "Label3") && c.index >= 1 && c.index <= 7;
        EXPECT_EQ(c.has(kBackHighlightText), value) << id(c);
        EXPECT_EQ(c.has(kBackWhite), c.name == "Label5") << id(c);
        const bool red = c.name == "Label8" || c.name == "Text17" || c.name == "Text16" || c.name == "linkLostBanner";
        EXPECT_EQ(c.has(kRedText), red) << id(c);
        EXPECT_EQ(c.has(kBlueCaption), c.kind == Kind::Frame) << id(c);
    }
}

TEST(LayoutTable, TabOrderMenusTimersAndStartTabs)
{
    std::set<int> orders;
    for (const Control& c : controls()) {
        const bool focusable = c.kind == Kind::Button || c.kind == Kind::TextBox || c.kind == Kind::MultiLineText ||
                               c.kind == Kind::CheckBox || c.kind == Kind::Combo || c.kind == Kind::TabControl ||
                               c.kind == Kind::LogView || c.kind == Kind::List;
        if (focusable) {
            EXPECT_GE(c.tabOrder, 0) << id(c);
            EXPECT_TRUE(orders.insert(c.tabOrder).second) << id(c) << " shares its tab position";
        } else {
            EXPECT_EQ(c.tabOrder, -1) << id(c);
        }
    }
    // Boxes of a parameter column follow each other in axis order.
    for (int a = 1; a < 6; ++a) EXPECT_LT(find("Text3", a)->tabOrder, find("Text3", a + 1)->tabOrder);

    const std::map<std::string, std::string> shortcuts{
        {"NewFile", "Ctrl+N"}, {"OpenFile", "Ctrl+O"}, {"SaveFile", "Ctrl+S"}, {"AsSaveFile", "Ctrl+A"}, {"Exit", "Ctrl+X"}};
    for (const auto& [name, key] : shortcuts) EXPECT_EQ(find(name)->shortcut, key) << name;
    std::vector<std::string> fileMenu;
    forEachChild(inside("File"), [&](const Control& c) { fileMenu.push_back(id(c)); });
    EXPECT_EQ(fileMenu, (std::vector<std::string>{"NewFile", "OpenFile", "SaveFile", "AsSaveFile", "FileSeparator", "Exit"}));

    EXPECT_EQ(find("Timer1")->interval, 35);
    EXPECT_EQ(find("Timer2")->interval, 0);
    EXPECT_EQ(find("Timer3")->interval, 100);
    EXPECT_EQ(find("Timer1")->parent, inside("Frame17"));
    EXPECT_EQ(find("Timer2")->parent, onPage("SSTab2", 0));
    EXPECT_EQ(find("Timer3")->parent, inside("Frame8"));
    EXPECT_EQ(find("SSTab1")->value, 5);
    EXPECT_EQ(find("SSTab2")->value, 0);
}

TEST(LayoutTable, ObjectNames)
{
    EXPECT_EQ(objectName("Command5", 3), "Command5_3");
    EXPECT_EQ(objectName("Text11", 37), "Text11_37");
    EXPECT_EQ(objectName("Label2", 0), "Label2_0");
    EXPECT_EQ(objectName("Command14", kNoIndex), "Command14");
    EXPECT_EQ(find("Command5", 15), nullptr);
    EXPECT_EQ(find("Command5"), nullptr);
    EXPECT_EQ(find("Nothing"), nullptr);
}

} // namespace
} // namespace vq::layout
