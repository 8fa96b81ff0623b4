# The Windows release folder (cmake --install, and a zip from CPack): the programs, the plug-ins,
# the overlay pictures, the face finder's models with their licence and a ravk.ini naming
# Testcard.dll, side by side, as ravk.exe finds them when started from that folder.
foreach(target ravk ravk-inspect ravk-mask Testcard Grablet)
    if(TARGET ${target})
        install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION .)
    endif()
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/images DESTINATION .)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/models DESTINATION .)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/release/ravk.ini DESTINATION .)

# The camera filter, with how to register it: 64-bit and 32-bit programs each load their own, so
# a 64-bit release carries both, in x64/ and x86/. The 32-bit one comes from the 32-bit build
# tree; without it the release has x64/ only, and the install says so.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    install(TARGETS RavkelerCamera LIBRARY DESTINATION x64)
    set(RAVK_CAMERA_DLL_X86 ${PROJECT_SOURCE_DIR}/build/mingw-i686/bin/RavkelerCamera.dll CACHE
        FILEPATH "The 32-bit RavkelerCamera.dll that the 64-bit release carries in x86/")
    install(CODE "set(dll [[${RAVK_CAMERA_DLL_X86}]])\nset(strip [[${CMAKE_STRIP}]])")
    install(CODE [[
        if(EXISTS "${dll}")
            file(INSTALL "${dll}" DESTINATION "${CMAKE_INSTALL_PREFIX}/x86" USE_SOURCE_PERMISSIONS)
            if(CMAKE_INSTALL_DO_STRIP)
                execute_process(COMMAND "${strip}"
                    "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/x86/RavkelerCamera.dll")
            endif()
        else()
            message(WARNING "No 32-bit camera filter at ${dll}: build the mingw-i686 preset "
                "first, or set RAVK_CAMERA_DLL_X86. The release has x64/ only.")
        endif()
    ]])
else()
    install(TARGETS RavkelerCamera LIBRARY DESTINATION x86)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/release/RavkelerCamera.txt DESTINATION .)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/THIRD_PARTY_NOTICES.txt DESTINATION .)

# The zip of the folder, and for the 64-bit release (which carries both camera filters) the setup
# program, from cmake/windows_installer/NSIS.template.in; the file names per generator are set in
# windows_package_names.cmake.
set(CPACK_GENERATOR ZIP)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    find_program(RAVK_MAKENSIS makensis)
    if(RAVK_MAKENSIS)
        list(APPEND CPACK_GENERATOR NSIS)
    else()
        message(STATUS "No makensis (Debian package nsis): cpack makes the zip only")
    endif()
endif()
set(CPACK_PACKAGE_NAME Ravkeler)
set(CPACK_PACKAGE_VENDOR "the Ravkeler authors")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Ravkeler)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows_installer)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows_installer/windows_package_names.cmake)
set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)
include(CPack)
