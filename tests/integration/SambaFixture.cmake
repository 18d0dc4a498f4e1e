# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillmoor 98 developers
# The private-smbd fixture, shared by the integration tests and the benchmarks.
if(NOT TARGET qm_samba_test_server)
  add_library(qm_samba_test_server STATIC ${CMAKE_SOURCE_DIR}/tests/integration/SambaTestServer.cpp)
  target_include_directories(qm_samba_test_server PUBLIC ${CMAKE_SOURCE_DIR}/tests/integration)
  target_link_libraries(qm_samba_test_server PUBLIC qm_all)
  # Clients from another loopback address.
  add_library(qm_source_address_shim SHARED ${CMAKE_SOURCE_DIR}/tests/integration/SourceAddressShim.cpp)
  target_link_libraries(qm_source_address_shim PRIVATE ${CMAKE_DL_LIBS})
  # It is loaded into Samba's own smbclient, which carries no sanitizer
  # runtime: the shim is built without one.
  foreach(_property COMPILE_OPTIONS LINK_OPTIONS)
    get_target_property(_options qm_source_address_shim ${_property})
    if(_options)
      list(FILTER _options EXCLUDE REGEX "sanitize")
      set_target_properties(qm_source_address_shim PROPERTIES ${_property} "${_options}")
    endif()
  endforeach()
  add_dependencies(qm_samba_test_server qm_source_address_shim)
  target_compile_definitions(qm_samba_test_server PRIVATE
                             QM_SOURCE_ADDRESS_SHIM="$<TARGET_FILE:qm_source_address_shim>")
endif()
