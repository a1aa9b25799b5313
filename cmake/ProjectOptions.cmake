# Warnings as errors on project code only; third-party targets keep their own flags.
add_library(ostrel_options INTERFACE)
if(MSVC)
    # The same warnings GCC's -Wall -Wextra give; implicit narrowing (C4244, C4267) is left off
    # there too.
    target_compile_options(ostrel_options INTERFACE /W4 /WX /permissive- /utf-8 /EHsc
                                                    /wd4244 /wd4267)
    target_compile_definitions(ostrel_options INTERFACE _CRT_SECURE_NO_WARNINGS NOMINMAX
                                                        WIN32_LEAN_AND_MEAN)
else()
    target_compile_options(ostrel_options INTERFACE -Wall -Wextra -Werror)
    if(WIN32)
        target_compile_definitions(ostrel_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
    endif()
endif()

if(OSTREL_SANITIZE AND NOT MSVC AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(MSVC)
    # Programs built with the resource script carry its manifest; the linker adds none.
    add_link_options(/MANIFEST:NO)
endif()

if(MINGW)
    # One self-contained .exe: no MinGW runtime DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# The project version as a header, "ostrel_version.h", for the programs and resource scripts.
set(OSTREL_VERSION_HEADER ${CMAKE_BINARY_DIR}/generated/ostrel_version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${OSTREL_VERSION_HEADER} @ONLY)
target_include_directories(ostrel_options INTERFACE ${CMAKE_BINARY_DIR}/generated)
