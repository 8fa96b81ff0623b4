# The Windows release folder (cmake --install, and a zip from CPack): the programs, the plug-ins,
# the overlay pictures, the face finder's models with their licence and a ravk.ini naming
# Testcard.dll, side by side, as ravk.exe finds them when started from that folder.
foreach(target ravk ravk-inspect Testcard Grablet)
    if(TARGET ${target})
        install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION .)
    endif()
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/images DESTINATION .)
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/models DESTINATION .)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/release/ravk.ini DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Ravkeler)
set(CPACK_PACKAGE_FILE_NAME Ravkeler-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
