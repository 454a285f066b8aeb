// Golden trace: the console's wire output in one scripted operator session.
//
// The session (start-up, continuous reads, jogging, modes, axis power,
// origin, targets, direct moves, a program, every parameter group, saves)
// runs on the real window and core against the simulated controller; every
// request the console writes is recorded as the simulator reads it from the
// line and compared with golden/operator_session.trace, byte for byte, CRC
// included. A change of the wire output, however it comes about, shows here.
//
// After a deliberate change of the wire output, write the file anew and
// review its diff line by line:
//   VELQUOR_GOLDEN_UPDATE=1 build/bin/test_e2e --gtest_filter='GoldenTrace.*'
//
// The recording does not depend on timing:
//  - the two continuous reads (status 10 00 and pose 11 70, 36 registers)
//    are left out, as their number depends on how long each step takes;
//    switching them off and on (Check2, Check3) is recorded as marker lines
//    once the read is seen to stop or to come back;
//  - the jog word (10 04) is sent every cycle once raised; a jog word equal
//    to the last one recorded is left out;
//  - each step waits until its requests have crossed the line and, where the
//    next step depends on it, until the arm or the window shows the result.
// In the file, '#' starts a comment (step names); comments are not compared.
#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "e2e_rig.h"

namespace vq::e2e {
namespace {

constexpr std::array<std::uint8_t, 8> kStatusRead{0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00};
constexpr std::array<std::uint8_t, 8> kPoseRead{0x80, 0x03, 0x11, 0x70, 0x00, 0x24, 0x5F, 0x27};

// Cuts what the simulator reads into requests and keeps the trace.
class WireLog {
public:
    // `askedAgain`: how many times the console has sent a block read again
    // for a reply that never came.
    WireLog(sim::SimHost& host, std::function<std::uint64_t(Slot)> askedAgain) : host_(host), askedAgain_(std::move(askedAgain))
    {
        host_.onBytesIn = [this](std::span<const std::uint8_t> bytes) { take(bytes); };
    }
    ~WireLog() { host_.onBytesIn = nullptr; }

    std::vector<std::string> trace;
    int statusReads = 0, poseReads = 0;
    int statusSincePose = 0, poseSinceStatus = 0;

private:
    void take(std::span<const std::uint8_t> bytes)
    {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        // A read request is 8 bytes long, a write 9 plus its byte count.
        while (buffer_.size() >= 8) {
            const std::size_t n = buffer_[1] == 0x10 ? 9u + buffer_[6] : 8u;
            if (buffer_.size() < n) return;
            request({buffer_.data(), n});
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(n));
        }
    }
    void request(std::span<const std::uint8_t> frame)
    {
        if (std::ranges::equal(frame, kStatusRead)) {
            ++statusReads, ++statusSincePose, poseSinceStatus = 0;
            return;
        }
        if (std::ranges::equal(frame, kPoseRead)) {
            ++poseReads, ++poseSinceStatus, statusSincePose = 0;
            return;
        }
        std::string line;
        for (std::uint8_t b : frame) {
            char hex[4];
            std::snprintf(hex, sizeof hex, line.empty() ? "%02X" : " %02X", b);
            line += hex;
        }
        if (frame[1] == 0x10 && frame[2] == 0x10 && frame[3] == 0x04) {
            if (line == lastJogWord_) return;
            lastJogWord_ = line;
        }
        // A block read the console sent again because its reply was lost
        // (a busy machine delays the simulated controller too).
        if (frame[1] == 0x03) {
            const auto start = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
            for (const SlotRow& row : slotTable()) {
                if (!row.isRead() || row.start != start) continue;
                if (askedAgain_(row.slot) > askedAgainSeen_[row.slot]) {
                    ++askedAgainSeen_[row.slot];
                    return;
                }
            }
        }
        trace.push_back(line);
    }

    sim::SimHost& host_;
    std::vector<std::uint8_t> buffer_;
    std::string lastJogWord_;
    std::function<std::uint64_t(Slot)> askedAgain_;
    std::map<Slot, std::uint64_t> askedAgainSeen_;
};

// Waits until nothing but the jog word is left in the mailbox and two more
// continuous reads have crossed the line: every request of the last step is
// recorded, and its reply has had a poll period to come back.
::testing::AssertionResult settle(Rig& r, const WireLog& log)
{
    const Mailbox& mailbox = r.form().state().mailbox;
    if (!r.waitFor([&] { return mailbox.raisedCount() == (mailbox.due(Slot::Jog) ? 1 : 0); }, kGenerousWaitMs))
        return ::testing::AssertionFailure() << "requests still waiting to be sent";
    const int reads = log.statusReads + log.poseReads;
    if (!r.waitFor([&] { return log.statusReads + log.poseReads >= reads + 2; }))
        return ::testing::AssertionFailure() << "the continuous reads stopped";
    return ::testing::AssertionSuccess();
}

// The compared lines of a trace (comments and blanks dropped), each with
// its line number.
std::vector<std::pair<std::size_t, std::string>> compared(const std::vector<std::string>& lines)
{
    std::vector<std::pair<std::size_t, std::string>> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string l = lines[i].substr(0, lines[i].find('#'));
        while (!l.empty() && (l.back() == ' ' || l.back() == '\r')) l.pop_back();
        if (!l.empty()) out.emplace_back(i + 1, l);
    }
    return out;
}

// The first difference with three lines either side, or empty.
std::string firstDifference(const std::vector<std::string>& goldenLines, const std::vector<std::string>& recordedLines)
{
    const auto golden = compared(goldenLines);
    const auto recorded = compared(recordedLines);
    std::size_t k = 0;
    while (k < golden.size() && k < recorded.size() && golden[k].second == recorded[k].second) ++k;
    if (k == golden.size() && k == recorded.size()) return {};
    std::string out = "first difference at entry " + std::to_string(k + 1) + " (requests and markers; " +
                      std::to_string(golden.size()) + " golden, " + std::to_string(recorded.size()) + " recorded)\n";
    if (k < recorded.size()) {
        for (std::size_t i = recorded[k].first; i-- > 0;)
            if (recordedLines[i].rfind("# ", 0) == 0) {
                out += "recorded in step: " + recordedLines[i].substr(2) + "\n";
                break;
            }
    }
    auto show = [&](const char* title, const std::vector<std::pair<std::size_t, std::string>>& lines) {
        out += title;
        for (std::size_t i = k < 3 ? 0 : k - 3; i < std::min(lines.size(), k + 4); ++i)
            out += (i == k ? "  > " : "    ") + std::to_string(lines[i].first) + ": " + lines[i].second + "\n";
    };
    show("golden (file line: request):\n", golden);
    show("recorded (trace line: request):\n", recorded);
    return out;
}

struct Step {
    std::string what;
    std::function<void()> act;
    std::function<bool()> done = {}; // besides its requests crossing the line
    std::string mark = {};           // recorded once done holds
};

TEST(GoldenTrace, OperatorSessionWritesTheRecordedRequests)
{
    sim::SimOptions o = testSimOptions(); // teach mode, servos on
    o.timeScale = 10.0;
    Rig r(o);
    r.window().show();
    QApplication::processEvents();
    ASSERT_TRUE(r.console->start());
    // Nothing has crossed the line yet: the poll timer runs from the event loop.
    WireLog log(r.host(), [&r](Slot read) { return r.form().readsAskedAgain(read); });
    log.trace.push_back("# start-up: the first cycle reads every parameter block");
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Label8", 1) != "1轴:" && r.board().text("Label2", 1) != "0.0001"; }, kGenerousWaitMs));
    ASSERT_TRUE(settle(r, log));

    auto click = [&r](const char* name, int index = kNoIndex) { return [&r, name, index] { r.click(name, index); }; };
    auto type = [&r](const char* box, int first, std::vector<const char*> texts) {
        for (const char* t : texts) r.typeInto(box, first++, QString::fromUtf8(t));
    };
    // Types a group's boxes and presses Enter in the last one.
    auto enter = [&r, type](const char* box, int first, std::vector<const char*> texts) {
        return [&r, type, box, first, texts] {
            type(box, first, texts);
            QTest::keyClick(r.widget(box, first + static_cast<int>(texts.size()) - 1), Qt::Key_Return);
        };
    };
    auto axisShows = [&r](int axis, bool on) {
        return [&r, axis, on] {
            return r.arm().servoOn(axis) == on &&
                   r.board().backColour("Command3" + std::to_string(axis)) == (on ? Colour::green() : Colour::buttonFace());
        };
    };
    auto servos = [axisShows](bool on) {
        for (int axis = 1; axis <= 6; ++axis)
            if (!axisShows(axis, on)()) return false;
        return true;
    };
    auto speed = [&r](int level) {
        return [&r, level] { return r.arm().teachSpeed() == level && r.board().text("Text2") == std::to_string(level); };
    };
    auto jogCode = [&r](int code) { return [&r, code] { return r.arm().jogCode() == code && (code || !r.arm().moving()); }; };
    auto motionMode = [&r](int mode) { return [&r, mode] { return r.arm().motionMode() == mode; }; };
    std::uint64_t motions = 0;
    auto startsMove = [&r, &motions](std::function<void()> act) {
        return [&r, &motions, act] {
            motions = r.arm().counters().motions;
            act();
        };
    };
    auto moved = [&r, &motions] { return r.arm().counters().motions > motions && !r.arm().moving(); };
    int statusAt = 0, poseAt = 0;
    auto toggle = [&r, &log, &statusAt, &poseAt](const char* box, int expected) {
        return [&r, &log, &statusAt, &poseAt, box, expected] {
            statusAt = log.statusReads, poseAt = log.poseReads;
            r.click(box);
            EXPECT_EQ(r.board().value(box), expected) << box;
        };
    };

    const std::vector<Step> steps = {
        {"Check2 off: the status read stops", toggle("Check2", 0), [&] { return log.poseSinceStatus >= 3; },
         "[status reads stopped]"},
        {"Check2 on", toggle("Check2", 1), [&] { return log.statusReads > statusAt; }, "[status reads resumed]"},
        {"Check3 off: the pose read stops", toggle("Check3", 0), [&] { return log.statusSincePose >= 3; },
         "[pose reads stopped]"},
        {"Check3 on", toggle("Check3", 1), [&] { return log.poseReads > poseAt; }, "[pose reads resumed]"},
        {"速度+ to 2", click("Command8", 0), speed(2)},
        {"速度+ to 3", click("Command8", 0), speed(3)},
        {"速度- to 2", click("Command8", 1), speed(2)},
        {"J2轴+ pressed", [&] { r.press("Command5", 3); }, jogCode(20)},
        {"J2轴+ released", [&] { r.release("Command5", 3); }, jogCode(0)},
        {"J1轴- pressed", [&] { r.press("Command5", 2); }, jogCode(11)},
        {"J1轴- released", [&] { r.release("Command5", 2); }, jogCode(0)},
        {"直角", click("Command22", 1), motionMode(2)},
        {"工具", click("Command22", 2), motionMode(3)},
        {"关节", click("Command22", 0), motionMode(1)},
        {"拖动: every servo off", click("Command22", 3), [&] { return r.arm().motionMode() == 4 && servos(false); }},
        {"关节", click("Command22", 0), motionMode(1)},
        {"全部打开", click("Command1", 9), [&] { return servos(true); }},
        {"全部关闭", click("Command1", 10), [&] { return servos(false); }},
        {"axis 1 on", click("Command31"), axisShows(1, true)},
        {"axis 2 on", click("Command32"), axisShows(2, true)},
        {"axis 3 on", click("Command33"), axisShows(3, true)},
        {"axis 4 on", click("Command34"), axisShows(4, true)},
        {"axis 5 on", click("Command35"), axisShows(5, true)},
        {"axis 6 on", click("Command36"), axisShows(6, true)},
        {"axis 4 off", click("Command34"), axisShows(4, false)},
        {"全部打开", click("Command1", 9), [&] { return servos(true); }},
        {"清除报警", click("Command30")},
        {"运行模式", click("Command19", 0), [&] { return r.arm().controlMode() == 0 && r.isEnabled("Command2", 1); }},
        {"target 0°", startsMove(click("Command2", 1)), moved},
        {"target -90°", startsMove(click("Command2", 2)), moved},
        {"设置原点, answered Yes",
         [&] {
             r.prompts.answers = {true};
             r.click("Command16", 0);
         },
         [&] { return r.arm().joints() == sim::JointArray{}; }},
        {"目标角度 with typed angles", startsMove([&] {
             type("Text1", 1, {"1.5e1", "-7.25", "30.5", "-0.0625", "6.0E+1", "-1e1"});
             r.click("Command2", 3);
         }),
         moved},
        {"返回原点", startsMove(click("Command16", 1)), moved},
        {"外部控制", click("Command19", 2), [&] { return r.arm().controlMode() == 2; }},
        {"示教模式", click("Command19", 1), [&] { return r.arm().controlMode() == 1 && r.isEnabled("Command5", 1); }},
        // 运行测试 is the tab shown from the start.
        {"运行测试 MOVP", startsMove([&] {
             type("Text11", 1, {"2.1e2", "-25.5", "1.6E+2", "180", "-0", "0.0"});
             r.click("Command25");
         }),
         moved},
        {"运行测试 MOVL", startsMove([&] {
             type("Text11", 11, {"200", "5e1", "1.5E2", "+180", "0", "-0.0"});
             r.click("Command26");
         }),
         moved},
        {"运行测试 MOVC", startsMove([&] {
             type("Text11", 21, {"250.00", "0", "150", "180", "0", "0"});
             type("Text11", 31, {"2e2", "-50.0", "150", "180.0", "0", "0"});
             type("Text11", 37, {"-4.5E1"});
             r.click("Command27");
         }),
         moved},
        {"program run to its end",
         [&] {
             auto* editor = qobject_cast<QPlainTextEdit*>(r.widget("Text7"));
             ASSERT_NE(editor, nullptr);
             editor->setFocus();
             editor->selectAll();
             QTest::keyClick(editor, Qt::Key_Backspace);
             for (const char* line : {"PSPEED RPM=1.5e3 ACC=250 DEC=250.5", "LSPEED MMS=120.25 ACC=1E2 DEC=+100",
                                      "MOVJ J1=20 J2=10 J3=2.05e1 J4=-0 J5=60 J6=-12.5",
                                      "MOVP X1=200.00 Y1=150.00 Z1=150.00 A1=180.00 B1=0.00 C1=0.00",
                                      "MOVL X1=200 Y1=5e1 Z1=150 A1=180 B1=-0.0 C1=0", "DELAY MS=150",
                                      "MOVC X2=250.00 Y2=0.00 Z2=150.00 A2=180.00 B2=0.00 C2=0.00",
                                      "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=4.5E1", "END"}) {
                 QTest::keyClicks(editor, QString::fromUtf8(line));
                 QTest::keyClick(editor, Qt::Key_Return);
             }
             r.click("Command14");
             ASSERT_FALSE(r.isEnabled("Command14")) << "the run did not start";
         },
         [&] {
             return r.isEnabled("Command14") && !r.board().timerEnabled("Timer3") && !r.arm().moving() &&
                    r.arm().busyWord() == 0;
         }},
        {"tab PID参数", [&] { r.clickTab(0); }},
        {"Kp 2 Enter", enter("Text4", 2, {"1.5e2"})},
        {"Ki 1 Enter", enter("Text5", 1, {"12.5"})},
        {"Kd 6 Enter", enter("Text6", 6, {"-3"})},
        {"PID 读取", click("Command3", 0)},
        {"PID 保存参数", click("Command3", 1)},
        {"tab 机械参数", [&] { r.clickTab(1); }},
        {"mechanical Enter", enter("Text17", 1, {"1.8e2", "30.0", "170", "+20", "1.7E+02", "60.5"})},
        {"tool Enter", enter("Text16", 1, {"0", "-12.5", "1e1"})},
        {"保存参数 (机械参数)", click("Command4", 0)},
        {"tab 减速比", [&] { r.clickTab(2); }},
        {"reduction Enter", enter("Text3", 1, {"80", "8e1", "60.0", "50.25", "5E1", "30"})},
        {"encoder Enter", enter("Text12", 1, {"1e4", "10000", "1.0E4", "10000.5", "9999.75", "10000"})},
        {"保存参数 (减速比)", click("Command4", 1)},
        {"tab 角度参数", [&] { r.clickTab(3); }},
        {"highest angles Enter", enter("Text14", 1, {"170", "110.5", "1.5e2", "180", "130", "3.6E2"})},
        {"lowest angles Enter", enter("Text15", 1, {"-170", "-110.5", "-1.5e2", "-180", "-130.25", "-3.6E+2"})},
        {"保存参数 (角度参数)", click("Command4", 2)},
        {"point speed Enter", enter("Text10", 0, {"1.2e3", "150.5", "2E2"})},
        {"point speed 设置", [&] {
             type("Text10", 0, {"900", "+1e2", "99.5"});
             r.click("Command7", 1);
         }},
        {"point speed 读取", click("Command7", 0)},
        {"line speed Enter", enter("Text21", 0, {"80.25", "1e2", "+250"})},
        {"line speed 设置", [&] {
             type("Text21", 0, {"1.5E2", "75", "0.5"});
             r.click("Command23", 1);
         }},
        {"line speed 读取", click("Command23", 0)},
    };

    // A step that stalls ends the session; what was recorded up to there is
    // still compared, so a changed request shows as the first difference.
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        log.trace.push_back("# " + s.what);
        const std::size_t before = log.trace.size();
        s.act();
        if (HasFailure()) break;
        if (s.done && !r.waitFor(s.done)) {
            ADD_FAILURE() << "not done; the arm's last event: " << r.arm().lastEvent();
            break;
        }
        if (!s.mark.empty()) log.trace.push_back(s.mark);
        const auto settled = settle(r, log);
        if (!settled || log.trace.size() == before) {
            ADD_FAILURE() << (settled ? "nothing went out" : settled.message());
            break;
        }
    }
    EXPECT_EQ(r.arm().counters().refused, 0u) << r.arm().lastEvent();

    const std::string path = VELQUOR_GOLDEN_TRACE;
    if (const char* update = std::getenv("VELQUOR_GOLDEN_UPDATE"); update && std::string(update) == "1") {
        ASSERT_FALSE(HasFailure()) << "the session did not run through; nothing written";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "# The console's requests in the operator session of test_golden_trace.cpp, one per line as\n"
               "# hex bytes (CRC included); status and pose reads, repeated jog words and block reads\n"
               "# sent again for a lost reply are left out.\n"
               "# Written by VELQUOR_GOLDEN_UPDATE=1; '#' starts a comment.\n";
        for (const std::string& l : log.trace) out << l << "\n";
        ASSERT_TRUE(out.good()) << path;
        std::printf("[ golden ] wrote %s\n", path.c_str());
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << path << " is missing; write it with VELQUOR_GOLDEN_UPDATE=1";
    std::vector<std::string> golden;
    for (std::string l; std::getline(in, l);) golden.push_back(l);
    const std::string diff = firstDifference(golden, log.trace);
    EXPECT_TRUE(diff.empty()) << diff;
}

} // namespace
} // namespace vq::e2e
