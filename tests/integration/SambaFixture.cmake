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
  add_dependencies(qm_samba_test_server qm_source_address_shim)
  target_compile_definitions(qm_samba_test_server PRIVATE
                             QM_SOURCE_ADDRESS_SHIM="$<TARGET_FILE:qm_source_address_shim>")
endif()
