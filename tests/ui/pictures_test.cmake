# Decodes every built-in picture under Wine. Included from tests/ui/CMakeLists.txt, after
# ui/pictures.cmake has defined ostrel_pictures and OSTREL_RESOURCE_SCRIPT.

add_executable(pictures_test ${CMAKE_CURRENT_LIST_DIR}/pictures_test.cpp ${OSTREL_RESOURCE_SCRIPT})
# The resource compiler reports no dependencies of its own: rebuild when a picture changes.
set_source_files_properties(${OSTREL_RESOURCE_SCRIPT} PROPERTIES
    OBJECT_DEPENDS "${OSTREL_RESOURCE_FILES}")
target_link_libraries(pictures_test PRIVATE ostrel_pictures GTest::gtest_main ostrel_options
                                            gdi32)
add_test(NAME pictures_test COMMAND pictures_test)
