# The PE fuzzer (libFuzzer, clang only). The reader and what it needs are
# compiled into the fuzzer itself with the sanitizers, so the main core stays
# as it is. CTest replays the seed corpus (generated at build time from the
# synthetic PE builder) and any saved regression inputs.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ANTICHEAT_FUZZ needs clang++ (configure with CXX=clang++)")
endif()

set(PE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
file(GLOB PE_FUZZ_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/${ANTICHEAT_PLATFORM}/*.cpp)
add_executable(pe_fuzzer
  fuzz/pe_fuzzer.cpp
  src/evidence/pe_fingerprint.cpp src/evidence/digest.cpp src/evidence/text.cpp
  src/platform/system.cpp ${PE_FUZZ_PLATFORM_SOURCES})
target_include_directories(pe_fuzzer PRIVATE src)
target_compile_options(pe_fuzzer PRIVATE ${PE_FUZZ_FLAGS})
target_link_options(pe_fuzzer PRIVATE ${PE_FUZZ_FLAGS})
if(NOT WIN32)
  target_link_libraries(pe_fuzzer PRIVATE OpenSSL::Crypto)
endif()

add_executable(make_seed_corpus fuzz/make_seed_corpus.cpp)
target_include_directories(make_seed_corpus PRIVATE tests)

set(PE_FUZZ_CORPUS ${CMAKE_BINARY_DIR}/pe_fuzz_corpus)
add_custom_command(
  OUTPUT ${PE_FUZZ_CORPUS}.stamp
  COMMAND make_seed_corpus ${PE_FUZZ_CORPUS}
  COMMAND ${CMAKE_COMMAND} -E touch ${PE_FUZZ_CORPUS}.stamp
  DEPENDS make_seed_corpus
  COMMENT "Writing the PE fuzzer seed corpus")
add_custom_target(pe_fuzz_corpus ALL DEPENDS ${PE_FUZZ_CORPUS}.stamp)
add_dependencies(pe_fuzzer pe_fuzz_corpus)

enable_testing()
# -runs=0: execute every input once and stop.
set(PE_FUZZ_INPUTS ${PE_FUZZ_CORPUS})
if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/regressions)
  list(APPEND PE_FUZZ_INPUTS ${CMAKE_SOURCE_DIR}/fuzz/regressions)
endif()
add_test(NAME pe_fuzzer_corpus COMMAND pe_fuzzer -runs=0 ${PE_FUZZ_INPUTS})
set_tests_properties(pe_fuzzer_corpus PROPERTIES TIMEOUT 300)
