// File names are written the Windows way (".\ravk.ini", "images\warai0000.bmp"); on other systems
// the backslash is read as the directory separator so the same names work.
#pragma once

#include <string>

std::string NativePath(const std::string& name);
