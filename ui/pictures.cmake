# The picture loader and the resource script that builds the pictures into a module.
# Included from ui/CMakeLists.txt. Executables that show the window, or test it, add
# ${OSTREL_RESOURCE_SCRIPT} to their sources and link ostrel_pictures.

get_filename_component(_ostrel_resources_dir "${CMAKE_CURRENT_LIST_DIR}/../resources" ABSOLUTE)

add_library(ostrel_pictures STATIC
    ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pictures.h
    ${CMAKE_CURRENT_LIST_DIR}/picture_scaling.cpp
    ${CMAKE_CURRENT_LIST_DIR}/picture_scaling.h)
# Public so that a consumer's .rc finds resource_ids.h and the pictures too.
target_include_directories(ostrel_pictures PUBLIC ${_ostrel_resources_dir})
# Public: a Bitmap is one of the scoped types of win32/scoped.h.
target_link_libraries(ostrel_pictures PUBLIC ostrel_win32
                                      PRIVATE ole32 windowscodecs uuid gdi32 ostrel_options)

# Cached so that sibling directories (tests) see them as well.
set(OSTREL_RESOURCE_SCRIPT "${_ostrel_resources_dir}/ostrel.rc" CACHE INTERNAL
    "Resource script with the window's pictures, manifest and version information")
set(OSTREL_RESOURCE_FILES
    "${_ostrel_resources_dir}/resource_ids.h"
    "${_ostrel_resources_dir}/version_info.rc"
    "${OSTREL_VERSION_HEADER}"
    "${_ostrel_resources_dir}/ostrel.manifest"
    "${_ostrel_resources_dir}/background.jpg"
    "${_ostrel_resources_dir}/button_face.jpg"
    "${_ostrel_resources_dir}/min_up.bmp"
    "${_ostrel_resources_dir}/min_down.bmp"
    "${_ostrel_resources_dir}/close_up.bmp"
    "${_ostrel_resources_dir}/close_down.bmp"
    CACHE INTERNAL "Files that the resource script pulls in")
# The resource compiler reports no dependencies of its own: rebuild when a picture changes.
set_source_files_properties(${OSTREL_RESOURCE_SCRIPT} PROPERTIES
    OBJECT_DEPENDS "${OSTREL_RESOURCE_FILES}")
