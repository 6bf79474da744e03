# A cross build sees only its target's headers. CLI11 and nlohmann-json are header-only and
# portable, so the build host's copies serve it too; they are offered through a folder that
# holds just those two trees, because adding the host's /usr/include itself would let its C
# library's headers stand in for ones the target lacks.
set(_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_host_headers})
foreach(_tree CLI nlohmann)
  if(NOT EXISTS /usr/include/${_tree})
    message(FATAL_ERROR "/usr/include/${_tree} is missing: install libcli11-dev and "
                        "nlohmann-json3-dev (scripts/deps.sh)")
  endif()
  file(CREATE_LINK /usr/include/${_tree} ${_host_headers}/${_tree} SYMBOLIC)
endforeach()
include_directories(SYSTEM ${_host_headers})
