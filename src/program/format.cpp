#include "format.h"

#include "link/numtext.h"

namespace vq {

std::vector<std::string_view> splitProgramLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    // Sized once: a long program would otherwise be copied on every growth.
    std::size_t breaks = 0;
    for (std::size_t p = text.find(kLineBreak); p != std::string_view::npos; p = text.find(kLineBreak, p + kLineBreak.size()))
        ++breaks;
    lines.reserve(breaks + 1);
    std::size_t start = 0;
    for (;;) {
        std::size_t brk = text.find(kLineBreak, start);
        if (brk == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, brk - start));
        start = brk + kLineBreak.size();
    }
}

std::string_view keywordText(std::string_view line)
{
    std::size_t blank = line.find(' ');
    return blank == std::string_view::npos ? line : line.substr(0, blank);
}

Keyword keywordOf(std::string_view line)
{
    struct Entry {
        std::string_view text;
        Keyword keyword;
    };
    static constexpr Entry table[] = {
        {"PSPEED", Keyword::Pspeed}, {"LSPEED", Keyword::Lspeed}, {"MOVJ", Keyword::Movj},
        {"MOVP", Keyword::Movp},     {"MOVL", Keyword::Movl},     {"MOVC", Keyword::Movc},
        {"DELAY", Keyword::Delay},   {"END", Keyword::End},
    };
    std::string_view word = keywordText(line);
    for (const Entry& e : table)
        if (word == e.text) return e.keyword;
    return Keyword::None;
}

std::string valueAfterKey(std::string_view line, std::string_view key, std::string_view fallback)
{
    std::size_t at = line.rfind(key);
    if (at == std::string_view::npos) return std::string(fallback);
    return generalFormat(readLenientNumber(line.substr(at + key.size())));
}

} // namespace vq
