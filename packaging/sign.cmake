# Signs the two programs in CPack's staging folder, after they are stripped and before they are
# zipped, when a certificate is given; without one the zip holds them unsigned, as by default.
# The certificate comes from the environment at packing time, so that neither it nor its
# password is kept in the build's cache:
#   OSTREL_SIGN_PKCS12         a PKCS#12 file (.pfx, .p12) holding the certificate and its key
#   OSTREL_SIGN_PASSWORD_FILE  a file holding that file's password (none when unset)
# Signing uses osslsigncode (Debian package osslsigncode).
if("$ENV{OSTREL_SIGN_PKCS12}" STREQUAL "")
    return()
endif()
find_program(OSTREL_OSSLSIGNCODE osslsigncode)
if(NOT OSTREL_OSSLSIGNCODE)
    message(FATAL_ERROR "OSTREL_SIGN_PKCS12 is set, but osslsigncode is not installed")
endif()
set(password)
if(NOT "$ENV{OSTREL_SIGN_PASSWORD_FILE}" STREQUAL "")
    set(password -readpass "$ENV{OSTREL_SIGN_PASSWORD_FILE}")
endif()
foreach(program IN LISTS CPACK_OSTREL_PROGRAMS)
    set(file "${CPACK_TEMPORARY_DIRECTORY}/${program}")
    execute_process(
        COMMAND "${OSTREL_OSSLSIGNCODE}" sign -pkcs12 "$ENV{OSTREL_SIGN_PKCS12}" ${password}
                -h sha256 -n "${CPACK_PACKAGE_NAME}" -in "${file}" -out "${file}.signed"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        file(REMOVE "${file}.signed")
        message(FATAL_ERROR "osslsigncode could not sign ${program}:\n${output}")
    endif()
    file(RENAME "${file}.signed" "${file}")
    message(STATUS "Signed ${program}")
endforeach()
