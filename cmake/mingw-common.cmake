# What both Windows cross builds share; the including file sets RAVK_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first. Debian's posix-thread compilers, so std::thread and std::mutex
# are available.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${RAVK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RAVK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RAVK_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RAVK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread are linked in, so the programs and plug-ins need no DLL
# but the system's.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static")
endforeach()

# CTest (and the build, for the tools it runs) start the programs under Wine, in a prefix kept
# inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh
    ${CMAKE_BINARY_DIR}/wineprefix)
