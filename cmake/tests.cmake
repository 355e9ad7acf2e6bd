# Test executables; CTest is the one driver for every layer. Every GoogleTest
# case is its own CTest test, listed when CTest runs (PRE_TEST), so a build
# never needs to run a test executable and the counts in the log are real.
include(GoogleTest)
if(WIN32)
  # GoogleTest from source, cross-built; CTest runs it through Wine.
  # MSVC: GoogleTest follows the static runtime the core links.
  if(MSVC)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  else()
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(ANTICHEAT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows tests")
  add_subdirectory(${ANTICHEAT_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS tests/windows/*.cpp)
  add_executable(windows_tests ${WINDOWS_TEST_SOURCES})
  # The tests themselves call crypt32 and version directly; the core does not link them.
  target_link_libraries(windows_tests PRIVATE anticheat_core gtest gtest_main crypt32 version)
  target_include_directories(windows_tests PRIVATE tests)
  # Listing and running the cases both go through this wrapper, which gives
  # Wine its prefix and quiet settings (discovery has no ENVIRONMENT of its own).
  # wintrust and crypt32 load "native first": Wine then loads a copy beside a
  # program the way Windows does, which the planted-DLL test needs. Not version:
  # Wine's own user32 imports it, so a copy would load before main.
  set(ANTICHEAT_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
  file(CONFIGURE OUTPUT ${ANTICHEAT_WINE_RUN} CONTENT [=[#!/bin/sh
export WINEDEBUG=-all WINEPREFIX="@CMAKE_BINARY_DIR@/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=;wintrust,crypt32=n,b"
exec /usr/lib/wine/wine64 "$@"
]=] @ONLY)
  file(CHMOD ${ANTICHEAT_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
  set_target_properties(windows_tests PROPERTIES CROSSCOMPILING_EMULATOR ${ANTICHEAT_WINE_RUN})
  gtest_discover_tests(windows_tests TEST_PREFIX "windows." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300
    PROPERTIES TIMEOUT 600)

  add_test(NAME evidence_under_wine
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/wine_evidence.sh ${ANTICHEAT_WINE_RUN} $<TARGET_FILE:evidence>
            ${CMAKE_BINARY_DIR}/wine_evidence)
  set_tests_properties(evidence_under_wine PROPERTIES TIMEOUT 1200)

  # Fixtures next to the test executable: a module without runtime DLLs, and,
  # when the host has openssl and osslsigncode, signed copies of it with the
  # names and thumbprints to expect. Without those tools the signature tests skip.
  set(WINDOWS_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
  add_library(fixture_module SHARED tests/windows/fixtures/fixture_module.cpp)
  # The fixtures sit in fixtures/ beside the test executable under every generator.
  set_target_properties(windows_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}$<0:>)
  set_target_properties(fixture_module PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${WINDOWS_FIXTURE_DIR}$<0:>)
  if(MSVC)
    target_compile_options(fixture_module PRIVATE /GS-)
    target_link_options(fixture_module PRIVATE /NODEFAULTLIB /ENTRY:DllMain)
  else()
    target_link_options(fixture_module PRIVATE -static -static-libgcc -nostdlib -Wl,--entry=DllMain)
  endif()
  target_link_libraries(fixture_module PRIVATE kernel32)
  add_dependencies(windows_tests fixture_module)

  # Helpers of the write-handle and DLL-loading tests: a process that holds a
  # handle to another, copies of three system DLLs that leave a marker when
  # they load, and a probe that runs the evidence calls beside them.
  add_executable(handle_holder tests/windows/helpers/handle_holder.cpp)
  add_executable(planted_dll_probe tests/windows/helpers/planted_dll_probe.cpp)
  target_link_libraries(planted_dll_probe PRIVATE anticheat_core)
  add_dependencies(windows_tests handle_holder planted_dll_probe)
  add_executable(handle_query_bench EXCLUDE_FROM_ALL bench/windows/handle_query_bench.cpp)
  target_link_libraries(handle_query_bench PRIVATE anticheat_core)
  foreach(planted IN ITEMS version wintrust crypt32)
    add_library(planted_${planted} SHARED tests/windows/helpers/planted_dll.cpp)
    set_target_properties(planted_${planted} PROPERTIES PREFIX "" OUTPUT_NAME ${planted}
                          RUNTIME_OUTPUT_DIRECTORY ${WINDOWS_FIXTURE_DIR}/planted)
    target_link_options(planted_${planted} PRIVATE -static -static-libgcc -nostdlib -Wl,--entry=DllMain)
    target_link_libraries(planted_${planted} PRIVATE kernel32)
    add_dependencies(windows_tests planted_${planted})
  endforeach()

  find_program(FIXTURE_OPENSSL openssl)
  find_program(FIXTURE_OSSLSIGNCODE osslsigncode)
  if(FIXTURE_OPENSSL AND FIXTURE_OSSLSIGNCODE)
    set(signed_fixtures ${WINDOWS_FIXTURE_DIR}/fixture_leaf_signed.dll ${WINDOWS_FIXTURE_DIR}/fixture_ms_signed.dll
        ${WINDOWS_FIXTURE_DIR}/root.der ${WINDOWS_FIXTURE_DIR}/fixtures.txt)
    add_custom_command(OUTPUT ${signed_fixtures}
      COMMAND ${CMAKE_COMMAND} -DOPENSSL=${FIXTURE_OPENSSL} -DOSSLSIGNCODE=${FIXTURE_OSSLSIGNCODE}
              -DMODULE=$<TARGET_FILE:fixture_module> -DOUT_DIR=${WINDOWS_FIXTURE_DIR}
              -P ${CMAKE_SOURCE_DIR}/cmake/sign_fixtures.cmake
      DEPENDS fixture_module ${CMAKE_SOURCE_DIR}/cmake/sign_fixtures.cmake
      COMMENT "Signing the Windows test fixtures")
    add_custom_target(signed_fixtures DEPENDS ${signed_fixtures})
    add_dependencies(windows_tests signed_fixtures)
  else()
    message(STATUS "openssl or osslsigncode not found: the signature tests under Wine will skip")
  endif()
else()
  find_package(GTest REQUIRED)
  file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(unit_tests ${UNIT_TEST_SOURCES})
  target_link_libraries(unit_tests PRIVATE anticheat_core GTest::gtest GTest::gtest_main)
  target_include_directories(unit_tests PRIVATE tests)
  gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_MODE PRE_TEST)

  file(GLOB LINUX_TEST_SOURCES CONFIGURE_DEPENDS tests/linux/*.cpp)
  if(LINUX_TEST_SOURCES)
    add_executable(linux_tests ${LINUX_TEST_SOURCES})
    target_link_libraries(linux_tests PRIVATE anticheat_core GTest::gtest GTest::gtest_main)
    target_include_directories(linux_tests PRIVATE tests)
    gtest_discover_tests(linux_tests TEST_PREFIX "linux." DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 600)
  endif()

  add_test(NAME data_tables_rejects
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/data_tables_rejects.sh ${CMAKE_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}/data_tables_rejects)

  # A scratch build over a copy of data/ (only the evidence tool, unoptimised).
  add_test(NAME data_round_trip
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/data_round_trip.sh ${CMAKE_SOURCE_DIR}
            ${CMAKE_BINARY_DIR}/data_round_trip -DPython_EXECUTABLE=${Python_EXECUTABLE})
  set_tests_properties(data_round_trip PROPERTIES TIMEOUT 1800)

  add_test(NAME python_tests
    COMMAND ${Python_EXECUTABLE} -m unittest discover -s ${CMAKE_SOURCE_DIR}/tests/python -t ${CMAKE_SOURCE_DIR}/tests/python -v)
  set_tests_properties(python_tests PROPERTIES TIMEOUT 900
    ENVIRONMENT "PYTHONPATH=${CMAKE_BINARY_DIR}/python;ANTICHEAT_BUILD_DIR=${CMAKE_BINARY_DIR}")
endif()

# Every operation from four threads at once on live processes and changing
# files; scripts/ci/tsan.sh runs it under ThreadSanitizer.
if(NOT WIN32)
  find_package(Threads REQUIRED)
  add_executable(thread_stress_tests tests/stress/thread_stress_test.cpp)
  target_link_libraries(thread_stress_tests PRIVATE anticheat_core GTest::gtest GTest::gtest_main Threads::Threads ${CMAKE_DL_LIBS})
  target_include_directories(thread_stress_tests PRIVATE tests)
  add_test(NAME thread_stress_tests COMMAND thread_stress_tests)
  set_tests_properties(thread_stress_tests PROPERTIES TIMEOUT 300)
endif()
