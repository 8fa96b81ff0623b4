#include "profile_file.h"

#include <cstdio>
#include <utility>

#include "ascii_case.h"
#include "legacy_text.h"
#include "native_path.h"
#include "regular_file.h"
#include "utf8_text.h"

namespace {

// What is kept of one line; the rest of a longer line is skipped, as if the line ended there.
// This bounds the memory a hostile file can make us use.
constexpr std::size_t LINE_MAX_BYTES = 64 * 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Nothing given back or read ahead; EOF is a value that can be.
constexpr long NOTHING = -2;

// A settings file read one character at a time: a byte of an 8-bit file, a code point of a UTF-16
// one.
struct ProfileText {
    std::FILE* file = nullptr;
    enum { BYTES, UTF16_LE, UTF16_BE } encoding = BYTES;
    long givenBack = NOTHING;  // the character after a '\r' that was not '\n'
    long unitAhead = NOTHING;  // the UTF-16 unit after an unpaired high surrogate
};

// A UTF-16 file starts with the byte-order mark FF FE or FE FF; any other file is read as bytes.
ProfileText StartText(std::FILE* file) {
    ProfileText text{file};
    const int first = std::getc(file);
    const int second = std::getc(file);
    if (first == 0xFF && second == 0xFE) {
        text.encoding = ProfileText::UTF16_LE;
    } else if (first == 0xFE && second == 0xFF) {
        text.encoding = ProfileText::UTF16_BE;
    } else {
        std::rewind(file);
    }
    return text;
}

// A lone last byte is no unit and ends the file.
long NextUnit(ProfileText& text) {
    if (text.unitAhead != NOTHING) {
        return std::exchange(text.unitAhead, NOTHING);
    }
    const int first = std::getc(text.file);
    const int second = std::getc(text.file);
    if (second == EOF) {
        return EOF;
    }
    return text.encoding == ProfileText::UTF16_LE ? (second << 8 | first) : (first << 8 | second);
}

// The next character, or EOF at the end of the file; a read error counts as the end. An unpaired
// surrogate reads as U+FFFD, as the system converts it.
long NextChar(ProfileText& text) {
    if (text.givenBack != NOTHING) {
        return std::exchange(text.givenBack, NOTHING);
    }
    if (text.encoding == ProfileText::BYTES) {
        return std::getc(text.file);
    }
    const long unit = NextUnit(text);
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF) {
        const long low = NextUnit(text);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        text.unitAhead = low;
    }
    return 0xFFFD;
}

// Reads one line ended by "\n", "\r\n", a lone "\r" or the end of the file, keeping what starts
// within its first LINE_MAX_BYTES bytes; the characters of a UTF-16 file become whole UTF-8
// characters. False when nothing is left.
bool ReadLine(ProfileText& text, std::string& line) {
    line.clear();
    long c = NextChar(text);
    if (c == EOF) {
        return false;
    }
    while (c != EOF && c != '\n' && c != '\r') {
        if (line.size() < LINE_MAX_BYTES) {
            if (text.encoding == ProfileText::BYTES) {
                line.push_back(static_cast<char>(c));
            } else {
                AppendUtf8(line, static_cast<char32_t>(c));
            }
        }
        c = NextChar(text);
    }
    if (c == '\r') {
        c = NextChar(text);
        if (c != '\n') {
            text.givenBack = c;
        }
    }
    return true;
}

// Blanks and one pair of matching surrounding quotes removed.
std::string_view UnquotedValue(std::string_view text) {
    text = Trim(text);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

// Optional blanks, an optional sign, then "0x"-hexadecimal or decimal digits, as many as there
// are. The digits accumulate modulo 2^32 and a '-' negates modulo 2^32, so "-1" reads as
// 4294967295 and "4294967296" as 0, as the Windows profile reader does: a settings file means the
// same on every platform.
std::uint32_t ParseProfileInt(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint32_t base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint32_t result = 0;
    for (const char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

// Values are UTF-8 in the program; a value that is not was written in the system's older encoding.
std::string ProgramText(std::string_view value) {
    return IsValidUtf8(value) ? std::string(value) : LegacyTextToUtf8(value);
}

}  // namespace

// A later section of the same name is never looked at, so the scan ends with the first section.
std::vector<std::optional<std::string>> FindProfileValues(const std::string& fileName,
                                                          std::string_view section,
                                                          std::span<const std::string_view> keys) {
    std::vector<std::optional<std::string>> values(keys.size());
    std::string error;
    const FilePtr file = OpenRegularFile(NativePath(fileName), error);
    if (!file) {
        return values;
    }
    ProfileText fileText = StartText(file.get());
    bool inSection = false;
    bool firstLine = true;
    std::string line;
    while (ReadLine(fileText, line)) {
        std::string_view text = line;
        if (firstLine && text.starts_with("\xEF\xBB\xBF")) {
            text.remove_prefix(3);
        }
        firstLine = false;
        // The text is used as a C string would be: a NUL ends it.
        text = text.substr(0, text.find('\0'));
        text = Trim(text);
        if (text.empty() || text.front() == ';') {
            continue;
        }
        if (text.front() == '[') {
            if (inSection) {
                break;
            }
            std::string_view name = text.substr(1);
            name = name.substr(0, name.find(']'));
            inSection = EqualsIgnoringAsciiCase(Trim(name), section);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const std::size_t equals = text.find('=');
        const std::string_view key = Trim(text.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!values[i] && EqualsIgnoringAsciiCase(key, keys[i])) {
                values[i] = ProgramText(UnquotedValue(value));
            }
        }
    }
    return values;
}

std::string ProfileString(const std::optional<std::string>& value, const std::string& defaultValue,
                          std::size_t maxChars) {
    const std::string& text = value ? *value : defaultValue;
    return text.substr(0, Utf8PrefixLength(text, maxChars));
}

std::uint32_t ProfileInt(const std::optional<std::string>& value, std::uint32_t defaultValue) {
    return (value && !value->empty()) ? ParseProfileInt(*value) : defaultValue;
}

std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t maxChars) {
    const std::string_view keys[] = {key};
    return ProfileString(FindProfileValues(fileName, section, keys)[0], defaultValue, maxChars);
}

std::uint32_t ReadProfileInt(const std::string& fileName, const std::string& section,
                             const std::string& key, std::uint32_t defaultValue) {
    const std::string_view keys[] = {key};
    return ProfileInt(FindProfileValues(fileName, section, keys)[0], defaultValue);
}
