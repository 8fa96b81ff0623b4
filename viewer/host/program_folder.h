// Where the running program is: the one question about the installation that only the operating
// system can answer. One declaration here, one source file per platform.
#pragma once

#include <filesystem>

// The folder of the running program, symbolic links resolved; empty when the system does not tell.
std::filesystem::path ProgramFolder();
