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

# The parsers fuzzer: the other readers of hostile bytes, with the whole core
# compiled in under the same sanitizers. Its inputs start with a byte that
# picks the parser, so it keeps its own corpus and regression inputs.
add_executable(parsers_fuzzer fuzz/parsers_fuzzer.cpp ${ANTICHEAT_CORE_SOURCES})
target_include_directories(parsers_fuzzer PRIVATE src tests fuzz)
target_compile_options(parsers_fuzzer PRIVATE ${PE_FUZZ_FLAGS})
target_link_options(parsers_fuzzer PRIVATE ${PE_FUZZ_FLAGS})
target_link_libraries(parsers_fuzzer PRIVATE anticheat_tables)
if(NOT WIN32)
  target_link_libraries(parsers_fuzzer PRIVATE OpenSSL::Crypto)
endif()

add_executable(make_parsers_corpus fuzz/make_parsers_corpus.cpp)
target_include_directories(make_parsers_corpus PRIVATE tests fuzz)

set(PARSERS_FUZZ_CORPUS ${CMAKE_BINARY_DIR}/parsers_fuzz_corpus)
add_custom_command(
  OUTPUT ${PARSERS_FUZZ_CORPUS}.stamp
  COMMAND make_parsers_corpus ${PARSERS_FUZZ_CORPUS}
  COMMAND ${CMAKE_COMMAND} -E touch ${PARSERS_FUZZ_CORPUS}.stamp
  DEPENDS make_parsers_corpus
  COMMENT "Writing the parsers fuzzer seed corpus")
add_custom_target(parsers_fuzz_corpus ALL DEPENDS ${PARSERS_FUZZ_CORPUS}.stamp)
add_dependencies(parsers_fuzzer parsers_fuzz_corpus)

set(PARSERS_FUZZ_INPUTS ${PARSERS_FUZZ_CORPUS})
if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/parsers_regressions)
  list(APPEND PARSERS_FUZZ_INPUTS ${CMAKE_SOURCE_DIR}/fuzz/parsers_regressions)
endif()
add_test(NAME parsers_fuzzer_corpus COMMAND parsers_fuzzer -runs=0 ${PARSERS_FUZZ_INPUTS})
set_tests_properties(parsers_fuzzer_corpus PROPERTIES TIMEOUT 300)
