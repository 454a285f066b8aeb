#include "numtext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vq {

double readLenientNumber(std::string_view text)
{
    // Collect the characters of the number, skipping blanks, tabs and line
    // feeds, until one cannot continue it.
    std::string num;
    num.reserve(32);
    enum { Sign, Mantissa, ExpSign, ExpDigits } stage = Sign;
    bool point = false;
    bool mantissaDigits = false;
    std::size_t beforeExponent = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        bool digit = c >= '0' && c <= '9';
        if (stage == Sign) {
            stage = Mantissa;
            if (c == '+' || c == '-') { num.push_back(c); continue; }
        }
        if (stage == Mantissa) {
            if (digit) { num.push_back(c); mantissaDigits = true; continue; }
            if (c == '.' && !point) { point = true; num.push_back(c); continue; }
            if ((c == 'e' || c == 'E') && mantissaDigits) {
                beforeExponent = num.size();
                num.push_back('e');
                stage = ExpSign;
                continue;
            }
            break;
        }
        if (stage == ExpSign) {
            stage = ExpDigits;
            if (c == '+' || c == '-') { num.push_back(c); continue; }
        }
        if (stage == ExpDigits) {
            if (digit) { num.push_back(c); continue; }
            break;
        }
    }
    if (!mantissaDigits) return 0.0;
    // An exponent mark without digits is not part of the number.
    if (stage == ExpSign || stage == ExpDigits) {
        char last = num.back();
        if (last == 'e' || last == '+' || last == '-') num.resize(beforeExponent);
    }
    return std::strtod(num.c_str(), nullptr);
}

std::optional<double> readStrictNumber(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') ++digits;
        else if (c == '.' && !point) point = true;
        else break;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') { ++j; ++expDigits; }
        if (expDigits == 0) return std::nullopt;
        i = j;
    }
    if (i != text.size()) return std::nullopt;
    std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

std::string generalFormat(double value)
{
    if (value == 0.0) return "0"; // also -0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    return buf;
}

} // namespace vq
