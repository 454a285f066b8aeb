// Program files: the GBK decode and encode, and the piecewise decode a file
// is opened with. The first two bytes of the input choose two places to cut
// the rest; the rest is the file.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "program/program_files.h"

namespace {


bool isAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// The text read piece by piece, cut at the two places.
std::string inPieces(std::string_view bytes, std::size_t cutA, std::size_t cutB, vq::FileFault& fault)
{
    vq::ProgramTextStream stream;
    std::string text = stream.feed(bytes.substr(0, cutA));
    text += stream.feed(bytes.substr(cutA, cutB - cutA));
    text += stream.feed(bytes.substr(cutB));
    text += stream.finish();
    fault = stream.fault();
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::size_t cutA = data[0] % (bytes.size() + 1);
    std::size_t cutB = data[1] % (bytes.size() + 1);
    if (cutA > cutB) std::swap(cutA, cutB);

    const std::string text = vq::decodeProgramBytes(bytes);
    VQ_FUZZ_CHECK(validUtf8(text), vq::fuzz::quoted(bytes));
    if (isAscii(bytes)) VQ_FUZZ_CHECK(text == bytes, vq::fuzz::quoted(bytes));

    // Encoding the decoded text gives GBK that decodes to the same text,
    // but for the bytes that were not GBK (U+FFFD, written as "?").
    const std::string encoded = vq::encodeProgramText(text);
    if (text.find("\xEF\xBF\xBD") == std::string::npos)
        VQ_FUZZ_CHECK(vq::decodeProgramBytes(encoded) == text, vq::fuzz::quoted(bytes));
    VQ_FUZZ_CHECK(vq::encodeProgramText(vq::decodeProgramBytes(encoded)) == encoded, vq::fuzz::quoted(bytes));

    // Wherever the reads end, the pieces make the whole file's text, and a
    // file is refused for the same reason whatever the cuts.
    vq::FileFault whole;
    const std::string once = inPieces(bytes, 0, 0, whole);
    vq::FileFault cut;
    const std::string pieces = inPieces(bytes, cutA, cutB, cut);
    VQ_FUZZ_CHECK(whole == cut, vq::fuzz::quoted(bytes) + " " + whole + " / " + cut);
    if (whole.empty()) {
        VQ_FUZZ_CHECK(once == text, vq::fuzz::quoted(bytes));
        VQ_FUZZ_CHECK(pieces == text, vq::fuzz::quoted(bytes));
    }
    return 0;
}
