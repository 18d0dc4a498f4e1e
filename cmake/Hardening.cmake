# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
#
# Debian's hardening flags for every program of the build (what
# `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags` gives): fortified
# C library calls, stack protector, format checks, position-independent
# executables, read-only relocations bound at start-up. The package build
# takes dpkg-buildflags' own values instead (QM_HARDENING=OFF there); the
# fuzz build has its sanitizers, which fortification would hide.
include(CheckPIESupported)

if(QM_BUILD_FUZZ)
  set(_hardening_default OFF)
else()
  set(_hardening_default ON)
endif()
option(QM_HARDENING "Build with Debian's hardening flags" ${_hardening_default})

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(QM_HARDENING)
  # Fortification needs the optimiser; a Debug build would warn.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
