# A cross build finds no GoogleTest for its target, so it builds one from the sources Debian
# ships (package googletest), whose own build names its targets as find_package(GTest) does.
set(_gtest_source /usr/src/googletest)
if(NOT EXISTS ${_gtest_source}/CMakeLists.txt)
  message(FATAL_ERROR "${_gtest_source} is missing: install googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)

# Our warnings-as-errors are for our code; GoogleTest gets only its own flags.
get_directory_property(_our_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_our_options}")

