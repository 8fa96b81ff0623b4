# Debian's hardening flags, as dpkg-buildflags gives them with every hardening feature on:
# fortified C library calls, the stack protector, format checks, and relocations made read-only
# and bound at start (relro, bind-now). The linux preset builds the Debian package, so it turns
# them on for all our code (the plug-ins and programs link our static libraries, and the tests
# check what ships). The optimisation level stays the build type's; fortification is left out of
# unoptimised builds, where the C library only warns that it cannot fortify.
option(RAVK_DEBIAN_HARDENING "Compile and link our code with Debian's hardening flags" OFF)

set(RAVK_HARDENING_OPTIONS)
set(RAVK_HARDENING_LINK_OPTIONS)
if(RAVK_DEBIAN_HARDENING)
    # The sanitizers' checks of memory functions do not see the fortified variants.
    if(WIN32 OR RAVK_SANITIZE)
        message(FATAL_ERROR "RAVK_DEBIAN_HARDENING is for Linux builds without RAVK_SANITIZE")
    endif()
    find_program(RAVK_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
    foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
        # reproducible=-all: no file-prefix maps or date warnings; those are not hardening.
        execute_process(COMMAND ${CMAKE_COMMAND} -E env
                "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-all"
                "DEB_CFLAGS_MAINT_STRIP=-g -O2" "DEB_CXXFLAGS_MAINT_STRIP=-g -O2"
                ${RAVK_DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(RAVK_DEB_${kind} UNIX_COMMAND "${flags}")
    endforeach()
    list(APPEND RAVK_HARDENING_OPTIONS
        "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${RAVK_DEB_CPPFLAGS}>"
        "$<$<COMPILE_LANGUAGE:C>:${RAVK_DEB_CFLAGS}>"
        "$<$<COMPILE_LANGUAGE:CXX>:${RAVK_DEB_CXXFLAGS}>")
    set(RAVK_HARDENING_LINK_OPTIONS ${RAVK_DEB_LDFLAGS})
    string(JOIN " " shown ${RAVK_DEB_CPPFLAGS} ${RAVK_DEB_CXXFLAGS} ${RAVK_DEB_LDFLAGS})
    message(STATUS "Debian hardening flags: ${shown}")
endif()
