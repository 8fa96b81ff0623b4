#include <windows.h>

#include <string>

#include "program_folder.h"

std::filesystem::path ProgramFolder() {
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length == 0) {
            return {};
        }
        if (length < program.size()) {
            program.resize(length);
            return std::filesystem::path(program).parent_path();
        }
        program.resize(program.size() * 2);  // cut short: the name is longer than the buffer
    }
}
