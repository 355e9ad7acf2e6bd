# Test executables; CTest is the one driver for every layer.
if(WIN32)
  # GoogleTest from source, cross-built; CTest runs it through Wine.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS tests/windows/*.cpp)
  add_executable(windows_tests ${WINDOWS_TEST_SOURCES})
  target_link_libraries(windows_tests PRIVATE anticheat_core gtest gtest_main)
  target_include_directories(windows_tests PRIVATE tests)
  add_test(NAME windows_tests COMMAND windows_tests)
  set_tests_properties(windows_tests PROPERTIES TIMEOUT 1200
    ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDLLOVERRIDES=mscoree,mshtml=")
else()
  find_package(GTest REQUIRED)
  file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(unit_tests ${UNIT_TEST_SOURCES})
  target_link_libraries(unit_tests PRIVATE anticheat_core GTest::gtest GTest::gtest_main)
  target_include_directories(unit_tests PRIVATE tests)
  add_test(NAME unit_tests COMMAND unit_tests)

  file(GLOB LINUX_TEST_SOURCES CONFIGURE_DEPENDS tests/linux/*.cpp)
  if(LINUX_TEST_SOURCES)
    add_executable(linux_tests ${LINUX_TEST_SOURCES})
    target_link_libraries(linux_tests PRIVATE anticheat_core GTest::gtest GTest::gtest_main)
    target_include_directories(linux_tests PRIVATE tests)
    add_test(NAME linux_tests COMMAND linux_tests)
    set_tests_properties(linux_tests PROPERTIES TIMEOUT 600)
  endif()

  add_test(NAME python_tests
    COMMAND ${Python_EXECUTABLE} -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/python -t ${CMAKE_SOURCE_DIR}/tests/python -v)
  set_tests_properties(python_tests PROPERTIES TIMEOUT 900
    ENVIRONMENT "PYTHONPATH=${CMAKE_BINARY_DIR}/python;ANTICHEAT_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()
