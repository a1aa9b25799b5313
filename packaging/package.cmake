# The release zip, made by CPack (cmake --build --preset windows --target package, or
# scripts/package.sh): Ostrel-<version>-win64.zip holding the two programs, stripped, and
# README.txt, with Ostrel-<version>-win64.zip.sha256 beside it; the programs are signed when a
# certificate is given (sign.cmake). Included from the top-level CMakeLists.txt in Windows
# builds, after the programs' targets exist.

install(TARGETS Ostrel ostrel-cli RUNTIME DESTINATION .)
# CR LF, so that every Notepad shows it as written.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Ostrel)
set(CPACK_PACKAGE_VENDOR Ostrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Ostrel-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# The files at the zip's root: Windows' "Extract All" makes the folder itself.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Symbols off at install (MinGW's strip); MSVC keeps them in a .pdb that is not packed.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Signed only when a certificate is given (sign.cmake); unsigned by default.
set(CPACK_OSTREL_PROGRAMS Ostrel.exe ostrel-cli.exe)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sign.cmake)
include(CPack)
