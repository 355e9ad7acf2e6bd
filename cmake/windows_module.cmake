# The Windows module cross-built with MinGW-w64: CPython 3.13's own headers
# with the project's Windows pyconfig.h, pybind11's headers, and an import
# library for python313.dll written from the symbols the binding object uses.
# ANTICHEAT_PYTHON_INCLUDE_DIR is the include/python3.13 folder of any CPython
# 3.13; only its platform-independent headers are used.
file(STRINGS ${ANTICHEAT_PYTHON_INCLUDE_DIR}/patchlevel.h py_version_line
     REGEX "^#define PY_VERSION[ \t]+\"")
if(NOT py_version_line MATCHES "\"3\\.13\\.")
  message(FATAL_ERROR "${ANTICHEAT_PYTHON_INCLUDE_DIR} does not hold CPython 3.13 headers")
endif()

# Python.h includes "pyconfig.h" from its own folder first, so the headers are
# staged without the host's pyconfig.h and with the Windows one.
set(py_headers ${CMAKE_BINARY_DIR}/windows-python/include)
file(COPY ${ANTICHEAT_PYTHON_INCLUDE_DIR}/ DESTINATION ${py_headers} PATTERN pyconfig.h EXCLUDE)
configure_file(${CMAKE_SOURCE_DIR}/cmake/windows-python/pyconfig.h ${py_headers}/pyconfig.h COPYONLY)

# pybind11 alone, without the rest of the host's /usr/include.
find_path(ANTICHEAT_PYBIND11_INCLUDE pybind11/pybind11.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(pybind11_headers ${CMAKE_BINARY_DIR}/windows-python/pybind11)
file(MAKE_DIRECTORY ${pybind11_headers})
file(CREATE_LINK ${ANTICHEAT_PYBIND11_INCLUDE}/pybind11 ${pybind11_headers}/pybind11 SYMBOLIC)

add_library(anticheat_bindings OBJECT src/module/bindings.cpp)
target_include_directories(anticheat_bindings SYSTEM PRIVATE ${py_headers} ${pybind11_headers})
target_link_libraries(anticheat_bindings PRIVATE anticheat_core)

find_program(ANTICHEAT_MINGW_NM x86_64-w64-mingw32-nm REQUIRED)
find_program(ANTICHEAT_MINGW_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
set(py_import_lib ${CMAKE_BINARY_DIR}/windows-python/libpython313.a)
add_custom_command(OUTPUT ${py_import_lib}
  COMMAND ${CMAKE_COMMAND} -DNM=${ANTICHEAT_MINGW_NM} -DDLLTOOL=${ANTICHEAT_MINGW_DLLTOOL}
          -DDLL=python313.dll -DDEF=${CMAKE_BINARY_DIR}/windows-python/python313.def -DOUT=${py_import_lib}
          "-DOBJECTS=$<TARGET_OBJECTS:anticheat_bindings>"
          -P ${CMAKE_SOURCE_DIR}/cmake/python_import_lib.cmake
  DEPENDS anticheat_bindings $<TARGET_OBJECTS:anticheat_bindings> ${CMAKE_SOURCE_DIR}/cmake/python_import_lib.cmake
  VERBATIM
  COMMENT "Writing the python313.dll import library")
add_custom_target(anticheat_python_import_lib DEPENDS ${py_import_lib})
add_dependencies(anticheat_python_import_lib anticheat_bindings)

add_library(anticheat MODULE $<TARGET_OBJECTS:anticheat_bindings>)
add_dependencies(anticheat anticheat_python_import_lib)
set_target_properties(anticheat PROPERTIES PREFIX "" OUTPUT_NAME "anticheat.cp313-win_amd64" SUFFIX ".pyd")
target_link_libraries(anticheat PRIVATE anticheat_core ${py_import_lib})
# Python 3.8+ loads extension DLLs without searching PATH, so the MinGW C++
# runtime, libgcc and winpthread go inside the module. Only the dllexport'ed
# PyInit_anticheat is exported; ASLR (64-bit entropy) and NX are asked for
# explicitly rather than left to the linker's defaults.
target_link_options(anticheat PRIVATE -static -static-libgcc -static-libstdc++
  -Wl,--exclude-all-symbols -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
