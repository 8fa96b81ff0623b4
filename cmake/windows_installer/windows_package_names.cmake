# Read by cpack once per generator: the zip keeps its folder inside, the setup program is named as
# Windows users look for it.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME ravk-${CPACK_PACKAGE_VERSION}-setup)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    set(CPACK_PACKAGE_FILE_NAME Ravkeler-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
