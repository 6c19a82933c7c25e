# SPDX-License-Identifier: GPL-3.0-or-later
# The window's start values and the bounds of its controls, for the pages that
# quote them, read from the header that the programs compile: each
# `inline constexpr TYPE NAME = VALUE;` there becomes TESSAVOLANT_NAME (a
# string without its quotes).
set(defaultsHeader ${CMAKE_SOURCE_DIR}/common/defaults.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${defaultsHeader})
file(STRINGS ${defaultsHeader} definitions REGEX "^inline constexpr ")
if(NOT definitions)
    message(FATAL_ERROR "${defaultsHeader} defines no value")
endif()
foreach(definition IN LISTS definitions)
    if(NOT definition MATCHES "^inline constexpr [a-z]+ ([A-Za-z]+)(\\[\\])? = (\"([^\"]*)\"|(-?[0-9]+));$")
        message(FATAL_ERROR "${defaultsHeader}: cannot read the value of: ${definition}")
    endif()
    set(TESSAVOLANT_${CMAKE_MATCH_1} "${CMAKE_MATCH_4}${CMAKE_MATCH_5}")
endforeach()

# configure_file(@ONLY), which would leave a misspelt or removed value empty:
# here every @NAME@ in `input` must be set.
function(tessavolant_configure_file input output)
    file(READ ${input} text)
    string(REGEX MATCHALL "@[A-Za-z_]+@" references "${text}")
    foreach(reference IN LISTS references)
        string(REPLACE "@" "" name ${reference})
        if(NOT DEFINED ${name})
            message(FATAL_ERROR "${input}: ${reference} has no value")
        endif()
    endforeach()
    configure_file(${input} ${output} @ONLY)
endfunction()
