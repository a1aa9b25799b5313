# Boost, header-only: the engine's sort is its pdqsort. Natively the installed headers. When
# cross-compiling, an include folder that holds only a link to the system's boost folder, since
# adding /usr/include itself would shadow MinGW's own C headers. With Visual Studio, Boost from
# vcpkg, or else the folder beside the repository that OSTREL_BOOST_INCLUDE_DIR names.
add_library(ostrel_boost INTERFACE)
if(CMAKE_CROSSCOMPILING)
    set(OSTREL_BOOST_INCLUDE_DIR ${CMAKE_BINARY_DIR}/boost-only)
    if(NOT EXISTS /usr/include/boost/sort/pdqsort/pdqsort.hpp)
        message(FATAL_ERROR "Boost's headers are missing: install libboost-dev")
    endif()
    file(MAKE_DIRECTORY ${OSTREL_BOOST_INCLUDE_DIR})
    file(CREATE_LINK /usr/include/boost ${OSTREL_BOOST_INCLUDE_DIR}/boost SYMBOLIC)
    target_include_directories(ostrel_boost SYSTEM INTERFACE ${OSTREL_BOOST_INCLUDE_DIR})
else()
    find_package(Boost 1.67 QUIET)
    if(Boost_FOUND)
        target_link_libraries(ostrel_boost INTERFACE Boost::headers)
    else()
        set(OSTREL_BOOST_INCLUDE_DIR "${CMAKE_SOURCE_DIR}/../boost"
            CACHE PATH "A folder holding Boost's headers (boost/), used when no package is found")
        if(NOT EXISTS ${OSTREL_BOOST_INCLUDE_DIR}/boost/sort/pdqsort/pdqsort.hpp)
            message(FATAL_ERROR "Boost's headers were not found: install libboost-dev (Debian), "
                                "boost-sort through vcpkg, or set OSTREL_BOOST_INCLUDE_DIR")
        endif()
        target_include_directories(ostrel_boost SYSTEM INTERFACE ${OSTREL_BOOST_INCLUDE_DIR})
    endif()
endif()
