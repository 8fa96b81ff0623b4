// UTF-8, the program's text encoding: which byte strings are UTF-8, where a text may be cut, and
// code points written as UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Whether text is well-formed UTF-8: no overlong forms, surrogates or code points past U+10FFFF,
// as the Windows conversions require.
bool IsValidUtf8(std::string_view text);

// The length of text's longest prefix of at most maxBytes bytes that does not end inside a
// character: a cut between a lead byte and its continuation bytes moves back before the lead.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes);

// Appends codePoint (at most U+10FFFF) to text as UTF-8.
void AppendUtf8(std::string& text, char32_t codePoint);
