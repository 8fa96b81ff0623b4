# OpenCV's DNN module with the image processing it needs, from Debian's libopencv-dnn-dev and
# libopencv-imgproc-dev, which ship no CMake package of their own: the target opencv_dnn_reference
# exists where their headers and libraries are found. Tests and benchmarks only; the product never
# links it.
if(NOT WIN32 AND NOT TARGET opencv_dnn_reference)
    find_path(RAVK_OPENCV_INCLUDE_DIR opencv2/dnn.hpp PATH_SUFFIXES opencv4)
    find_library(RAVK_OPENCV_DNN opencv_dnn)
    find_library(RAVK_OPENCV_IMGPROC opencv_imgproc)
    find_library(RAVK_OPENCV_CORE opencv_core)
    if(RAVK_OPENCV_INCLUDE_DIR AND RAVK_OPENCV_DNN AND RAVK_OPENCV_IMGPROC AND RAVK_OPENCV_CORE)
        add_library(opencv_dnn_reference INTERFACE IMPORTED)
        target_include_directories(opencv_dnn_reference SYSTEM INTERFACE ${RAVK_OPENCV_INCLUDE_DIR})
        target_link_libraries(opencv_dnn_reference INTERFACE
            ${RAVK_OPENCV_DNN} ${RAVK_OPENCV_IMGPROC} ${RAVK_OPENCV_CORE})
    endif()
endif()
