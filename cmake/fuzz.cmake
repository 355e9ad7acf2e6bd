# The PE fuzzer (libFuzzer, clang only). The reader and what it needs are
# compiled into the fuzzer itself with the sanitizers, so the main core stays
# as it is. CTest replays the seed corpus (generated at build time from the
# synthetic PE builder) and any saved regression inputs.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ANTICHEAT_FUZZ needs clang++ (configure with CXX=clang++)")
endif()

set(PE_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
enable_testing()

# One fuzz target: its executable under the sanitizers, its seed corpus written
# at build time by GENERATOR into CORPUS, and a CTest replay of the corpus and of any saved
# regression inputs in REGRESSIONS (-runs=0: every input once, then stop).
function(anticheat_fuzz_target name)
  cmake_parse_arguments(FUZZ "" "CORPUS;GENERATOR;REGRESSIONS" "SOURCES;INCLUDES" ${ARGN})
  add_executable(${name} ${FUZZ_SOURCES})
  target_include_directories(${name} PRIVATE ${FUZZ_INCLUDES})
  target_compile_options(${name} PRIVATE ${PE_FUZZ_FLAGS})
  target_link_options(${name} PRIVATE ${PE_FUZZ_FLAGS})
  if(NOT WIN32)
    target_link_libraries(${name} PRIVATE OpenSSL::Crypto)
  endif()

  add_executable(${FUZZ_GENERATOR} fuzz/${FUZZ_GENERATOR}.cpp)
  target_include_directories(${FUZZ_GENERATOR} PRIVATE tests fuzz)
  set(corpus ${CMAKE_BINARY_DIR}/${FUZZ_CORPUS})
  add_custom_command(
    OUTPUT ${corpus}.stamp
    COMMAND ${FUZZ_GENERATOR} ${corpus}
    COMMAND ${CMAKE_COMMAND} -E touch ${corpus}.stamp
    DEPENDS ${FUZZ_GENERATOR}
    COMMENT "Writing the ${name} seed corpus")
  add_custom_target(${FUZZ_CORPUS} ALL DEPENDS ${corpus}.stamp)
  add_dependencies(${name} ${FUZZ_CORPUS})

  set(inputs ${corpus})
  if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/${FUZZ_REGRESSIONS})
    list(APPEND inputs ${CMAKE_SOURCE_DIR}/fuzz/${FUZZ_REGRESSIONS})
  endif()
  add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${inputs})
  set_tests_properties(${name}_corpus PROPERTIES TIMEOUT 300)
endfunction()

file(GLOB PE_FUZZ_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/${ANTICHEAT_PLATFORM}/*.cpp)
anticheat_fuzz_target(pe_fuzzer CORPUS pe_fuzz_corpus GENERATOR make_seed_corpus REGRESSIONS regressions
  SOURCES fuzz/pe_fuzzer.cpp src/evidence/pe_fingerprint.cpp src/evidence/digest.cpp src/evidence/text.cpp
          src/platform/system.cpp ${PE_FUZZ_PLATFORM_SOURCES}
  INCLUDES src)

# The parsers fuzzer: the other readers of hostile bytes, with the whole core
# compiled in under the same sanitizers. Its inputs start with a byte that
# picks the parser, so it keeps its own corpus and regression inputs.
anticheat_fuzz_target(parsers_fuzzer CORPUS parsers_fuzz_corpus GENERATOR make_parsers_corpus REGRESSIONS parsers_regressions
  SOURCES fuzz/parsers_fuzzer.cpp ${ANTICHEAT_CORE_SOURCES}
  INCLUDES src tests fuzz)
target_link_libraries(parsers_fuzzer PRIVATE anticheat_tables)
