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

std::string generalFormat(double value)
{
    if (value == 0.0) return "0"; // also -0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    return buf;
}

} // namespace vq
