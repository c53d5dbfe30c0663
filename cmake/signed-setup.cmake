# Included at the end of setup/CMakeLists.txt, once KeySetup is complete.
kit_split_debug(KeySetup)

# The programs the installer carries are linked again when the time stamp changes too, or a tree
# built at an older commit would carry that commit's stamps in the payload.
foreach(row IN LISTS PAYLOAD_ROWS)
    string(REPLACE "|" ";" parts "${row}")
    list(GET parts 4 standin)
    if(TARGET ${standin})
        set_property(TARGET ${standin} APPEND PROPERTY LINK_DEPENDS ${KIT_EPOCH_FILE})
    endif()
endforeach()

# A signed release carries the signed manager: ./kit release puts it at signed/KeyManager.exe and links
# KeySetupSigned, the same installer with that one payload file changed. Nothing else builds it.
set(SIGNED_DIR ${CMAKE_CURRENT_BINARY_DIR}/signed)
set(SIGNED_MANAGER ${SIGNED_DIR}/KeyManager.exe)
set(BUILT_MANAGER ${STAGE}/11-KeyManager.exe)
string(REPLACE "\"${BUILT_MANAGER}\"" "\"${SIGNED_MANAGER}\"" SIGNED_PAYLOAD_RC "${PAYLOAD_RC}")
if(SIGNED_PAYLOAD_RC STREQUAL PAYLOAD_RC)
    message(FATAL_ERROR "the payload script names no ${BUILT_MANAGER} to replace with the signed manager")
endif()
file(CONFIGURE OUTPUT ${SIGNED_DIR}/payload.rc CONTENT "${SIGNED_PAYLOAD_RC}")
set(SIGNED_DEPENDS ${STAGED_FILES})
list(REMOVE_ITEM SIGNED_DEPENDS ${BUILT_MANAGER})
list(APPEND SIGNED_DEPENDS ${SIGNED_MANAGER})
set_source_files_properties(${SIGNED_DIR}/payload.rc PROPERTIES OBJECT_DEPENDS "${SIGNED_DEPENDS}")

get_target_property(SETUP_SOURCES KeySetup SOURCES)
list(REMOVE_ITEM SETUP_SOURCES ${CMAKE_CURRENT_BINARY_DIR}/payload.rc)
add_executable(KeySetupSigned WIN32 EXCLUDE_FROM_ALL ${SETUP_SOURCES} ${SIGNED_DIR}/payload.rc)
foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS INCLUDE_DIRECTORIES LINK_LIBRARIES LINK_OPTIONS)
    get_target_property(value KeySetup ${property})
    if(value)
        set_property(TARGET KeySetupSigned PROPERTY ${property} "${value}")
    endif()
endforeach()
set_target_properties(KeySetupSigned PROPERTIES OUTPUT_NAME KeySetup RUNTIME_OUTPUT_DIRECTORY ${SIGNED_DIR})
add_dependencies(KeySetupSigned setup_payload)
kit_split_debug(KeySetupSigned)
