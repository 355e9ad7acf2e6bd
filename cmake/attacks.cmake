# The attack suite's programs: a test game and one small program per technique,
# all in <build>/attacks. bench/attack_suite drives them.
set(ATTACK_DIR ${CMAKE_BINARY_DIR}/attacks)
set(ATTACK_TECHNIQUES manual_map remote_thread thread_hijack write_handle debugger load_module)

if(WIN32)
  set(attack_sources attacks/win)
  set(attack_link_options -static -static-libgcc -static-libstdc++)
else()
  set(attack_sources attacks/linux)
  set(attack_link_options)
endif()

add_custom_target(attack_programs)
foreach(name game ${ATTACK_TECHNIQUES})
  set(target attack_${name})
  add_executable(${target} ${attack_sources}/${name}.cpp)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ATTACK_DIR})
  target_link_options(${target} PRIVATE ${attack_link_options})
  add_dependencies(attack_programs ${target})
endforeach()

add_library(attack_wrapper_stub SHARED ${attack_sources}/wrapper_stub.cpp)
set_target_properties(attack_wrapper_stub PROPERTIES PREFIX "" OUTPUT_NAME wrapper_stub
  RUNTIME_OUTPUT_DIRECTORY ${ATTACK_DIR} LIBRARY_OUTPUT_DIRECTORY ${ATTACK_DIR})
add_dependencies(attack_programs attack_wrapper_stub)

if(WIN32)
  target_link_options(attack_wrapper_stub PRIVATE ${attack_link_options})
  # The runner drives the suite under Wine through the core (the Python module cannot run there).
  add_executable(attack_runner attacks/win/runner.cpp)
  target_link_libraries(attack_runner PRIVATE anticheat_core)
  set_target_properties(attack_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ATTACK_DIR})
  target_link_options(attack_runner PRIVATE ${attack_link_options})
  add_dependencies(attack_programs attack_runner)
endif()
