# The private-smbd fixture, shared by the integration tests and the benchmarks.
if(NOT TARGET qm_samba_test_server)
  add_library(qm_samba_test_server STATIC ${CMAKE_SOURCE_DIR}/tests/integration/SambaTestServer.cpp)
  target_include_directories(qm_samba_test_server PUBLIC ${CMAKE_SOURCE_DIR}/tests/integration)
  target_link_libraries(qm_samba_test_server PUBLIC qm_all)
endif()
