# The test program for Windows, included from tests/CMakeLists.txt. It is
# built with the MinGW-w64 cross compilers and, for x86_64, run under wine
# through CMAKE_CROSSCOMPILING_EMULATOR; 32-bit programs cannot run on the
# CI machine, so the 32-bit build stops at the library.
#
# The test files the Windows program runs. The rest need what a Windows
# host does not have here: Little CMS as the reference (the colour, stage,
# element-editing, conformance and link-building tests), Ghostscript through
# popen (the CRD check) or the Debian profiles under /usr/share/color (the
# transform tests). New files join the Windows run only when listed, so a
# test that needs a host library cannot break the cross build.
set(TNT_TESTS_ON_WINDOWS
  colour_test.cc container_test.cc crd_text_test.cc elements_test.cc link_kernels_test.cc
  null_arguments_test.cc number_format_test.cc stage_test.cc tag_reader_test.cc
  support/allocation_sweep.cc support/leak_check.cc support/profile_builder.cc support/profile_images.cc
  support/real_profiles.cc support/v4_profiles.cc)

# GoogleTest from the sources Debian's googletest package ships, built with
# its own flags rather than the library's warning and language options.
set(TNT_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
get_directory_property(tnt_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${TNT_GTEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${tnt_saved_options}")

set(TNT_TEST_SOURCES)
foreach(name IN LISTS TNT_TESTS_ON_WINDOWS)
  list(APPEND TNT_TEST_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/${name})
endforeach()
add_executable(tintwell_tests ${TNT_TEST_SOURCES} ${PROJECT_SOURCE_DIR}/tools/icc_writer.cc header_c.c)
target_link_libraries(tintwell_tests PRIVATE tintwell_static GTest::gtest_main)
target_include_directories(tintwell_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
# Wine maps drive Z: to the Unix root, so Windows paths reach the test
# profiles and the sources.
get_filename_component(tnt_test_profiles ${PROJECT_SOURCE_DIR}/tests/data/profiles ABSOLUTE)
target_compile_definitions(tintwell_tests PRIVATE
  TNT_TEST_PROFILES="Z:${tnt_test_profiles}"
  TNT_SOURCE_DIR="Z:${PROJECT_SOURCE_DIR}")
set_source_files_properties(header_c.c PROPERTIES COMPILE_OPTIONS "-std=c99;-pedantic")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
# One CTest test per TEST, found in the sources: discovery would start the
# program under wine once more at every build.
gtest_add_tests(TARGET tintwell_tests SOURCES ${TNT_TEST_SOURCES} TEST_LIST tnt_windows_tests)
find_program(TNT_WINESERVER NAMES wineserver wineserver64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(tnt_wine_environment "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all")
add_test(NAME wine_start COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-server.sh start ${CMAKE_CROSSCOMPILING_EMULATOR} ${TNT_WINESERVER})
add_test(NAME wine_stop COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine-server.sh stop ${CMAKE_CROSSCOMPILING_EMULATOR} ${TNT_WINESERVER})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${tnt_wine_environment}" TIMEOUT 300)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${tnt_wine_environment}" TIMEOUT 60)
# The DLL as a host loads it: plain export names, a movable memory block.
add_test(NAME dll_client COMMAND tintwell_dll_client "Z:${tnt_test_profiles}/fogra39-cmyk-lab-v2.icc")
list(APPEND tnt_windows_tests dll_client)
set_tests_properties(${tnt_windows_tests} PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${tnt_wine_environment}" TIMEOUT 600)
