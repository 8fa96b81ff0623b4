// The operating system's side of SharedLibrary: one declaration here, one source file per
// platform (posix/, win32/). Handles are the system's own.
#pragma once

#include <filesystem>

// Loads the library at path; a path without a folder goes to the system's own search. Null when
// nothing could be loaded.
void* OpenSharedLibrary(const std::filesystem::path& path);

// The address of the exported symbol name, or null when it is missing.
void* SharedLibrarySymbol(void* handle, const char* name);

void CloseSharedLibrary(void* handle);
