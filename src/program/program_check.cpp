#include "program_check.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cmath>
#include <limits>
#include <span>

#include "format.h"
#include "link/board.h"
#include "link/hex.h"
#include "link/numtext.h"
#include "runner.h"

namespace vq {

namespace {

// Every value the runner carries from line to line, as a bit of `known`.
enum Field : int {
    Rpm, PointAcc, PointDec, Mms, LineAcc, LineDec, DelayMs,
    J1, J2, J3, J4, J5, J6,
    X1, Y1, Z1, A1, B1, C1,
    X2, Y2, Z2, A2, B2, C2,
    X3, Y3, Z3, A3, B3, C3, Ag,
    kFieldCount
};

constexpr int kNone = -1;

struct FieldSpec {
    std::string_view key;
    int field;
    int fallback; // the field a missing value is taken from, kNone: its own last value
};

constexpr FieldSpec kPspeed[] = {{"RPM=", Rpm, kNone}, {"ACC=", PointAcc, kNone}, {"DEC=", PointDec, kNone}};
constexpr FieldSpec kLspeed[] = {{"MMS=", Mms, kNone}, {"ACC=", LineAcc, kNone}, {"DEC=", LineDec, kNone}};
constexpr FieldSpec kDelay[] = {{"MS=", DelayMs, kNone}};
constexpr FieldSpec kMovj[] = {{"J1=", J1, kNone}, {"J2=", J2, kNone}, {"J3=", J3, kNone},
                               {"J4=", J4, kNone}, {"J5=", J5, kNone}, {"J6=", J6, kNone}};
constexpr FieldSpec kMovp[] = {{"X1=", X1, kNone}, {"Y1=", Y1, kNone}, {"Z1=", Z1, kNone},
                               {"A1=", A1, kNone}, {"B1=", B1, kNone}, {"C1=", C1, kNone}};
constexpr FieldSpec kMovc[] = {{"X2=", X2, X1}, {"Y2=", Y2, Y1}, {"Z2=", Z2, Z1},
                               {"A2=", A2, A1}, {"B2=", B2, B1}, {"C2=", C2, C1}};
// The end point falls back on the via point, which always has a value by
// then: only the run angle can be missing.
constexpr FieldSpec kArcEnd[] = {{"X3=", X3, X2}, {"Y3=", Y3, Y2}, {"Z3=", Z3, Z2}, {"A3=", A3, A2},
                                 {"B3=", B3, B2}, {"C3=", C3, C2}, {"Ag=", Ag, kNone}};

std::span<const FieldSpec> fieldsOf(Keyword k)
{
    switch (k) {
    case Keyword::Pspeed: return kPspeed;
    case Keyword::Lspeed: return kLspeed;
    case Keyword::Delay: return kDelay;
    case Keyword::Movj: return kMovj;
    case Keyword::Movp:
    case Keyword::Movl: return kMovp;
    case Keyword::Movc: return kMovc;
    case Keyword::End:
    case Keyword::None: break;
    }
    return {};
}

constexpr std::string_view kKeywords[] = {"PSPEED", "LSPEED", "MOVJ", "MOVP", "MOVL", "MOVC", "DELAY", "END"};

struct Token {
    std::size_t begin;
    std::size_t end;
    std::string_view text;
};

bool isSeparator(char c) { return c == ' ' || c == '\t'; }

std::vector<Token> tokensOf(std::string_view line, std::size_t from)
{
    std::vector<Token> out;
    std::size_t i = from;
    while (i < line.size()) {
        while (i < line.size() && isSeparator(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSeparator(line[i])) ++i;
        if (i > start) out.push_back({start, i, line.substr(start, i - start)});
    }
    return out;
}

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string quoted(std::string_view s) { return "“" + std::string(s) + "”"; }

} // namespace

class ProgramCheck::Checker {
public:
    Checker(LineSource source, const JointLimits& limits) : limits_(limits), source_(std::move(source)) {}

    // Checks up to `count` more lines; true once the whole text is checked.
    bool step(std::size_t count)
    {
        if (done_) return true;
        count = std::max<std::size_t>(count, 1);
        // The lines of this slice and two more: an arc looks at the line
        // after it, and at whether that one is the text's last piece.
        const std::size_t asked = count > kAll - 2 ? kAll : count + 2;
        window_ = source_(line_, asked);
        windowFirst_ = line_;
        lines_ = splitProgramLines(window_);
        const std::size_t breaks = lines_.size() - 1;
        // Fewer line breaks than lines asked for: the window reaches the
        // end, and its last piece is the text's last (never executed).
        if (breaks < asked) total_ = line_ + breaks + 1;
        const std::size_t executed = total_ - 1; // the piece after the last CR LF never runs
        const std::size_t until = std::min(executed, line_ + std::min(count, breaks));
        for (; line_ < until; ++line_) {
            const std::string_view line = lineAt(line_);
            if (lineEnds(line)) continue; // two lines run as one: nothing else of it is what it seems
            if (afterEnd_) {
                if (!blank(line)) add(0, line.size(), "END 之后的行不会执行");
                continue;
            }
            if (continuation_) {
                continuation_ = false;
                if (!isArcEnd(line)) {
                    add(0, line.size(), "此行被上一行的 MOVC 当作续行 (终点)，不会执行");
                    continue;
                }
                tabs(line, std::string_view::npos);
                fields(line, tokensOf(line, 0), kArcEnd, "MOVC 续行");
                continue;
            }
            const Keyword k = keywordOf(line);
            if (k == Keyword::None) {
                unknown(line);
                continue;
            }
            tabs(line, std::string_view::npos);
            const std::size_t kw = keywordText(line).size();
            auto tokens = tokensOf(line, kw);
            if (k == Keyword::End) {
                for (const Token& t : tokens) add(t.begin, t.end, "END 后面的内容 " + quoted(t.text) + " 不起作用");
                afterEnd_ = true;
                continue;
            }
            fields(line, tokens, fieldsOf(k), keywordText(line));
            if (k == Keyword::Movc) {
                continuation_ = true;
                arcContinuation(kw);
            }
        }
        if (line_ < executed) return false;
        const std::string_view tail = lineAt(executed);
        lineEnds(tail);
        if (!blank(tail)) add(0, tail.size(), "最后一行没有换行 (CR LF)，不会执行");
        std::stable_sort(problems_.begin(), problems_.end(), [](const ProgramProblem& a, const ProgramProblem& b) {
            return a.line != b.line ? a.line < b.line : a.begin < b.begin;
        });
        done_ = true;
        return true;
    }

    std::vector<ProgramProblem>& problems() { return problems_; }

private:
    void add(std::size_t begin, std::size_t end, std::string message)
    {
        problems_.push_back({line_, begin, std::max(end, begin), std::move(message)});
    }

    static bool blank(std::string_view line)
    {
        return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
    }

    // The runner breaks lines at CR LF only: a lone LF or CR joins two lines.
    bool lineEnds(std::string_view line)
    {
        bool any = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '\n' && line[i] != '\r') continue;
            add(i, i + 1, std::string(line[i] == '\n' ? "单独的 LF" : "单独的 CR") + " 换行：运行时不分行 (应为 CR LF)");
            any = true;
        }
        return any;
    }

    void tabs(std::string_view line, std::size_t skip)
    {
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i] == '\t' && i != skip) add(i, i + 1, "用了制表符 (Tab) 分隔，应为空格");
    }

    // A line the runner passes over although it is not empty.
    void unknown(std::string_view line)
    {
        if (blank(line)) return;
        const std::size_t start = line.find_first_not_of(" \t");
        std::size_t end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view word = line.substr(start, end - start);
        const bool isKeyword = std::find(std::begin(kKeywords), std::end(kKeywords), word) != std::end(kKeywords);
        if (isKeyword && start == 0) { // a keyword followed by a tab
            add(end, end + 1, "指令后是制表符 (Tab)，此行不会执行：应为空格");
            tabs(line, end);
            return;
        }
        tabs(line, std::string_view::npos);
        if (start > 0) {
            if (isKeyword) add(0, end, "行首有空格，此行不会执行");
            else if (word.find("X3=") != std::string_view::npos || word.find("Ag=") != std::string_view::npos)
                add(0, line.size(), "前一行不是 MOVC，这一续行不会执行");
            else add(start, end, "行首有空格，此行不会执行");
            return;
        }
        const std::string up = upper(word);
        for (std::string_view k : kKeywords)
            if (up == k) {
                add(start, end, "未知指令 " + quoted(word) + "，应为 " + quoted(k) + "？此行不会执行");
                return;
            }
        add(start, end, "未知指令 " + quoted(word) + "，此行不会执行");
    }

    // The fields of one instruction (or of the arc's continuation line).
    void fields(std::string_view line, const std::vector<Token>& tokens, std::span<const FieldSpec> specs,
                std::string_view what)
    {
        std::bitset<kFieldCount> given;
        const FieldSpec* previous = nullptr; // the field the token before gave, for "J1=1 2"
        std::size_t previousAt = 0;
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            const Token& tok = tokens[t];
            const std::size_t eq = tok.text.find('=');
            if (eq == std::string_view::npos) {
                if (previous && std::isdigit(static_cast<unsigned char>(tok.text.front()))) {
                    const double read = readLenientNumber(line.substr(previousAt));
                    add(previousAt - previous->key.size(), tok.end,
                        std::string(previous->key) + " 的数值中有空格，运行时读作 " + generalFormat(read));
                } else {
                    add(tok.begin, tok.end, "多余的内容 " + quoted(tok.text) + "，运行时不起作用");
                }
                previous = nullptr;
                continue;
            }
            const std::string_view key = tok.text.substr(0, eq + 1);
            const auto spec = std::find_if(specs.begin(), specs.end(), [&](const FieldSpec& s) { return s.key == key; });
            if (spec == specs.end()) {
                add(tok.begin, tok.begin + key.size(), quoted(key) + " 不是 " + std::string(what) + " 的字段，运行时不起作用");
                previous = nullptr;
                continue;
            }
            const std::size_t valueAt = tok.begin + key.size();
            bool laterSameKey = false;
            for (std::size_t u = t + 1; u < tokens.size(); ++u)
                if (tokens[u].text.substr(0, key.size()) == key) laterSameKey = true;
            if (laterSameKey) add(tok.begin, tok.end, std::string(key) + " 写了两次，运行时用后一个");
            else value(line, *spec, tok, valueAt);
            given.set(static_cast<std::size_t>(spec->field));
            previous = &*spec;
            previousAt = valueAt;
        }
        // A field neither on the line nor given by a line before it.
        std::string missing;
        for (const FieldSpec& s : specs) {
            const auto f = static_cast<std::size_t>(s.field);
            const bool fallsBack = s.fallback != kNone && known_.test(static_cast<std::size_t>(s.fallback));
            if (!given.test(f) && !known_.test(f) && !fallsBack && !(specs.data() == kArcEnd && s.field != Ag))
                missing += (missing.empty() ? "" : " ") + std::string(s.key);
            known_.set(f);
        }
        if (!missing.empty()) {
            const std::size_t end = specs.data() == kArcEnd ? line.size() : keywordText(line).size();
            add(0, end, "缺少 " + missing + "，前面的行也没有给出 (运行时为 0)");
        }
    }

    // The value of one field as the runner reads it.
    void value(std::string_view line, const FieldSpec& spec, const Token& tok, std::size_t valueAt)
    {
        const std::string_view text = line.substr(valueAt, tok.end - valueAt);
        const double read = readLenientNumber(line.substr(valueAt));
        const std::string key(spec.key);
        if (text.empty()) {
            add(tok.begin, tok.end, key + " 没有数值，运行时读作 " + generalFormat(read));
            return;
        }
        if (!readStrictNumber(text)) {
            add(valueAt, tok.end, key + " 的数值 " + quoted(text) + " 不是数字，运行时读作 " + generalFormat(read));
            return;
        }
        if (spec.field == DelayMs) {
            // The runner waits the value rounded half to even, at least 1 ms
            // and at most a day.
            const double ms = std::nearbyint(read);
            if (!(ms >= 1)) add(valueAt, tok.end, "延迟 MS=" + std::string(text) + " 不到 1 毫秒，运行时不等待");
            else if (ms > ProgramRunner::kMaxDelayMs) add(valueAt, tok.end, "延迟超过 24 小时，运行时按 24 小时等待");
            return;
        }
        if (!std::isfinite(toFloat32(read))) {
            add(valueAt, tok.end, key + " 的数值 " + std::string(text) + " 超出浮点数范围 (无穷大)");
            return;
        }
        if (spec.field >= J1 && spec.field <= J6) {
            const auto j = static_cast<std::size_t>(spec.field - J1);
            const double v = toFloat32(read);
            // A controller whose limit parameters are not set reports an
            // empty range (zeros): nothing to hold a target against.
            if (limits_.highest[j] && limits_.lowest[j] && !(*limits_.lowest[j] < *limits_.highest[j])) return;
            if (limits_.highest[j] && v > *limits_.highest[j])
                add(valueAt, tok.end, "关节 " + std::to_string(j + 1) + " 的目标 " + generalFormat(v) + " 超过上限 " +
                                          generalFormat(*limits_.highest[j]));
            else if (limits_.lowest[j] && v < *limits_.lowest[j])
                add(valueAt, tok.end, "关节 " + std::to_string(j + 1) + " 的目标 " + generalFormat(v) + " 低于下限 " +
                                          generalFormat(*limits_.lowest[j]));
        }
    }

    // A continuation line: no instruction, at least one end-point field.
    static bool isArcEnd(std::string_view line)
    {
        if (keywordOf(line) != Keyword::None) return false;
        return std::any_of(std::begin(kArcEnd), std::end(kArcEnd),
                           [&](const FieldSpec& s) { return line.find(s.key) != std::string_view::npos; });
    }

    // The runner takes the line after a MOVC as its end point, whatever it holds.
    void arcContinuation(std::size_t keywordEnd)
    {
        const std::size_t next = line_ + 1;
        if (next + 1 >= total_) add(0, keywordEnd, "MOVC 缺少续行 (X3= … Ag=)");
        else if (!isArcEnd(lineAt(next))) add(0, keywordEnd, "MOVC 的下一行不是续行 (X3= … Ag=)");
    }

    std::string_view lineAt(std::size_t line) const { return lines_[line - windowFirst_]; }

    static constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();
    const JointLimits limits_;
    LineSource source_;
    std::string window_; // the lines of this slice, from windowFirst_
    std::size_t windowFirst_ = 0;
    std::vector<std::string_view> lines_; // of window_
    std::size_t total_ = kAll;            // lines of the text, once the window reached its end
    std::size_t line_ = 0;
    bool afterEnd_ = false;
    bool continuation_ = false;
    bool done_ = false;
    std::bitset<kFieldCount> known_;
    std::vector<ProgramProblem> problems_;
};

ProgramCheck::ProgramCheck(LineSource lines, const JointLimits& limits)
    : checker_(std::make_unique<Checker>(std::move(lines), limits))
{
}

ProgramCheck::~ProgramCheck() = default;

bool ProgramCheck::step(std::size_t lines) { return checker_->step(lines); }

std::vector<ProgramProblem> ProgramCheck::takeProblems() { return std::move(checker_->problems()); }

std::vector<ProgramProblem> checkProgram(std::string_view text, const JointLimits& limits)
{
    ProgramCheck check{[text](std::size_t first, std::size_t count) { return std::string(textLineSlice(text, first, count)); },
                       limits};
    check.step(std::numeric_limits<std::size_t>::max());
    return check.takeProblems();
}

std::string describeProblem(const ProgramProblem& problem)
{
    return "第 " + std::to_string(problem.line + 1) + " 行：" + problem.message;
}

} // namespace vq
