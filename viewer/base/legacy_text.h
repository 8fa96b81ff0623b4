// Text in the system's older 8-bit encoding, as editors that predate UTF-8 write it (a Japanese
// editor on Windows writes Shift-JIS). Each platform has its own source file behind it.
#pragma once

#include <string>
#include <string_view>

// The program's UTF-8 text for bytes that are not UTF-8: on Windows they are read in the ANSI code
// page, as the system reads such settings; elsewhere they stay as they are, since file names there
// are bytes.
std::string LegacyTextToUtf8(std::string_view bytes);
