#include "utf8_text.h"

namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The bytes of the character that lead starts, by its high bits; 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    return (lead & 0xF8) == 0xF0 ? 4 : 0;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    constexpr char32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};  // below is overlong
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = SequenceLength(lead);
        if (length == 0 || text.size() - i < length) {
            return false;
        }
        char32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (!IsContinuation(byte)) {
                return false;
            }
            code = code << 6 | (byte & 0x3Fu);
        }
        if (code < SMALLEST[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    if (!IsContinuation(static_cast<unsigned char>(text[maxBytes]))) {
        return maxBytes;
    }
    // The lead is at most three bytes back; bytes that do not form a character are left as they
    // are, since a value that is not UTF-8 may be cut anywhere.
    for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
        const auto byte = static_cast<unsigned char>(text[maxBytes - back]);
        if (!IsContinuation(byte)) {
            return SequenceLength(byte) > back ? maxBytes - back : maxBytes;
        }
    }
    return maxBytes;
}

void AppendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text.push_back(static_cast<char>(codePoint));
        return;
    }
    const std::size_t length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    constexpr unsigned char LEAD_BITS[] = {0, 0, 0xC0, 0xE0, 0xF0};
    text.push_back(static_cast<char>(LEAD_BITS[length] | (codePoint >> (6 * (length - 1)))));
    for (std::size_t k = length - 1; k > 0; --k) {
        text.push_back(static_cast<char>(0x80 | ((codePoint >> (6 * (k - 1))) & 0x3F)));
    }
}
