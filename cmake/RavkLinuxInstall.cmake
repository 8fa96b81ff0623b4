# The Linux install (cmake --install) and its Debian package (cpack): the programs in bin, the
# plug-ins in lib/ravk and the overlay pictures and the face finder's models in share/ravk, where an installed viewer looks for
# them (viewer/host/install_layout.h); the menu entry, icons, manual pages and documents where the
# desktop and Debian expect them.
set(RAVK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/linux)
set(RAVK_PACKAGE_MAINTAINER "Ravkeler maintainers <maintainers@users.noreply.c-seed-b5d11fcf.example>"
    CACHE STRING "The Maintainer field of the Debian package")

install(TARGETS ravk ravk-inspect ravk-mask RUNTIME DESTINATION bin)
foreach(plugin Grablet Testcard)
    if(TARGET ${plugin})
        install(TARGETS ${plugin} LIBRARY DESTINATION lib/ravk)
    endif()
endforeach()
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/images ${CMAKE_BINARY_DIR}/bin/models DESTINATION share/ravk)
install(FILES ${RAVK_PACKAGING_DIR}/ravk.desktop DESTINATION share/applications)
foreach(size 48 128 256)
    install(FILES ${CMAKE_BINARY_DIR}/icons/${size}x${size}/ravk.png
        DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages and the changelog carry the version and go in compressed, without a timestamp, as
# Debian has them.
set(compressed_files)
foreach(file ravk.1 ravk-inspect.1 ravk-mask.1 changelog)
    set(plain ${CMAKE_BINARY_DIR}/packaging/${file})
    configure_file(${RAVK_PACKAGING_DIR}/${file} ${plain}.in @ONLY)
    add_custom_command(OUTPUT ${plain}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${plain}.in ${plain}
        COMMAND gzip -9nf ${plain}
        DEPENDS ${plain}.in
        VERBATIM)
    list(APPEND compressed_files ${plain}.gz)
endforeach()
add_custom_target(ravk_compressed_docs ALL DEPENDS ${compressed_files})
install(FILES ${CMAKE_BINARY_DIR}/packaging/ravk.1.gz ${CMAKE_BINARY_DIR}/packaging/ravk-inspect.1.gz
    ${CMAKE_BINARY_DIR}/packaging/ravk-mask.1.gz
    DESTINATION share/man/man1)
install(FILES ${RAVK_PACKAGING_DIR}/ravk.ini ${RAVK_PACKAGING_DIR}/copyright
    ${PROJECT_SOURCE_DIR}/THIRD_PARTY_NOTICES.txt ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DESTINATION share/doc/ravk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravk)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${RAVK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the binaries do not name: the GStreamer elements Grablet builds its pipeline from (camera
# sources, video converter), Qt's X11 platform plug-in, and, for the menu entry's folder and the
# Japanese dialog texts, the user-dirs tool and a Japanese font; for VirtualCamera=1, GStreamer's
# PipeWire elements.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-user-dirs, fonts-ipafont-gothic | fonts-noto-cjk, gstreamer1.0-pipewire")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "camera viewer that covers the face in the picture")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ravkeler shows the live picture of a camera. In every frame it finds the
skin-coloured regions, picks the one that looks most like a face, and covers
it with an animated overlay, paints it blue or outlines it in red. It saves
snapshot pairs as BMP files and records AVI clips of what it shows.

Frames come from a capture plug-in: Grablet for a camera (through GStreamer)
or Testcard, a synthetic picture that needs no camera. The package also
holds ravk-inspect, which runs the face-region analysis on one picture from
the command line, and ravk-mask, which covers every face in a video file.")
include(CPack)
