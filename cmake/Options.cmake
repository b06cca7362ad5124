# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings are errors everywhere in our own code.
function(velmaro_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow> -Wnon-virtual-dtor)
    # GCC 12's flow analyses (array-bounds, stringop-overflow, maybe-uninitialized) report false
    # positives inside libstdc++ once sanitizer instrumentation is added. The plain build is the
    # one that holds warnings as errors; instrumented builds still print them.
    if((VELMARO_SANITIZE OR VELMARO_TSAN) AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-error)
    endif()
endfunction()

if(VELMARO_SANITIZE AND VELMARO_TSAN)
    message(FATAL_ERROR "VELMARO_SANITIZE and VELMARO_TSAN cannot be combined")
endif()
if(VELMARO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(VELMARO_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
if(VELMARO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "Fuzz targets need clang (CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
