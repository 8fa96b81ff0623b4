// Settings files read with the rules of the Windows profile reader, the same on every platform.
// The file is untrusted input.
//
// A line whose first non-blank character is '[' opens the section named up to ']'; "key = value"
// lines belong to the section above them, and a line there without '=' is a key with an empty
// value; a line whose first non-blank character is ';' is a comment. Names and values are trimmed
// of blanks (spaces and tabs). A UTF-8 byte-order mark at the start is skipped, and a file that
// starts with the UTF-16 byte-order mark FF FE (or FE FF) is read as UTF-16 text, little-endian
// (or big-endian), with unpaired surrogates read as U+FFFD. Lines end with "\n", "\r\n" or a lone
// "\r", a NUL ends a line's text, and only the first 64 KiB of a line count. Values are given as
// UTF-8: one that is not is legacy text, converted as LegacyTextToUtf8 says. File names are written
// the Windows way and go through NativePath; anything but a readable regular file reads as a
// missing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Scans the file once and gives, for each of keys, the value of its first occurrence in the first
// section named section (names compared without regard to case), trimmed of blanks and one pair of
// surrounding quotes; nullopt where the file, the section or the key is missing.
std::vector<std::optional<std::string>> FindProfileValues(const std::string& fileName,
                                                          std::string_view section,
                                                          std::span<const std::string_view> keys);

// A found value cut to at most maxChars bytes, or defaultValue (cut alike) when none was found. A
// cut inside a UTF-8 character moves back to its start.
std::string ProfileString(const std::optional<std::string>& value, const std::string& defaultValue,
                          std::size_t maxChars);

// A found value read as an integer the way the platform does: optional sign, decimal or
// 0x-hexadecimal, the leading digits, wrapping to unsigned 32-bit ("-1" gives 4294967295); a value
// that is not a number gives 0. No value, or an empty one, gives defaultValue.
std::uint32_t ProfileInt(const std::optional<std::string>& value, std::uint32_t defaultValue);

// One key's value, as FindProfileValues and ProfileString give it.
std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t maxChars);

// One key's value, as FindProfileValues and ProfileInt give it.
std::uint32_t ReadProfileInt(const std::string& fileName, const std::string& section,
                             const std::string& key, std::uint32_t defaultValue);
