# SPDX-FileCopyrightText: 2026 Velmaro developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening a distribution expects of what it ships: checked string and memory functions,
# stack canaries, a read-only relocation table bound at start-up, and position-independent
# executables. Only for optimised builds (the checked functions need -O1 or more), and not with
# the sanitizers, which bring their own checks and instrumentation that these would get in the
# way of.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$"
   AND NOT VELMARO_SANITIZE AND NOT VELMARO_TSAN AND NOT VELMARO_FUZZ)
    add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES C CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
