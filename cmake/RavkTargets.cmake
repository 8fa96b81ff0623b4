# Compile settings shared by every target of our own (third-party code never gets -Werror).

option(RAVK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# Our presets turn this on so that no warning creeps in; a plain build with another compiler or
# library version stays buildable when that compiler finds something new to warn about.
option(RAVK_WARNINGS_AS_ERRORS "Treat compiler warnings in our own code as errors" OFF)
include(RavkDebianHardening)

function(ravk_project_options target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /utf-8
            $<$<BOOL:${RAVK_WARNINGS_AS_ERRORS}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
            $<$<BOOL:${RAVK_WARNINGS_AS_ERRORS}>:-Werror>)
    endif()
    target_compile_options(${target} PRIVATE ${RAVK_HARDENING_OPTIONS})
    target_link_options(${target} PRIVATE ${RAVK_HARDENING_LINK_OPTIONS})
    if(RAVK_SANITIZE)
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# A static library of its folder's sources. Its headers are included by bare file name, and only
# targets that link it see its folder, so a header of a layer above cannot be reached by mistake.
function(ravk_add_library target)
    add_library(${target} STATIC ${ARGN})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    ravk_project_options(${target})
endfunction()

# A folder's operating-system part: the same file names in its posix/ and win32/ leaves, one of
# which is compiled into target.
if(WIN32)
    set(RAVK_OS_LEAF win32)
else()
    set(RAVK_OS_LEAF posix)
endif()
function(ravk_add_leaf_sources target)
    list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/${RAVK_OS_LEAF}/ OUTPUT_VARIABLE files)
    target_sources(${target} PRIVATE ${files})
endfunction()

# A capture plug-in's Windows DLL exports the seven functions of vq_plugin.h under their plain
# names, listed by vq_plugin.def (so a missing one fails the link). The standard calling convention
# of 32-bit Windows decorates the symbols (VQ_OnInit@4): ld's stdcall fix-up ties the plain names
# to them, and --kill-at keeps the decorated names that __declspec(dllexport) adds out of the table.
function(ravk_plugin_exports target)
    if(WIN32)
        target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include/vq_plugin.def)
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup,--kill-at)
        endif()
    endif()
endfunction()

# A COM server DLL (the camera filter, the tests' virtual cameras): DllGetClassObject and its
# kin under their plain names from def_file, for regsvr32 and the COM runtime; on 32-bit Windows
# the fix-up and --kill-at as for the plug-ins.
function(ravk_com_server target def_file)
    target_sources(${target} PRIVATE ${def_file})
    set_target_properties(${target} PROPERTIES PREFIX "")
    ravk_project_options(${target})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup,--kill-at)
    endif()
endfunction()
