// The UTF-8 texts of the sources as the UTF-16 texts of the Unicode (W) Windows functions, and
// back. Invalid sequences become U+FFFD, as the system converts them.
#pragma once

#include <string>

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
