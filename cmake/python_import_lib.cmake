# Writes an import library for python313.dll holding exactly the Python API
# symbols the given objects use, so the MinGW cross build links the module
# without a Windows Python installation.
#   cmake -DNM=... -DDLLTOOL=... -DDLL=python313.dll -DDEF=out.def -DOUT=libpython313.a
#         -DOBJECTS="a.obj;b.obj" -P python_import_lib.cmake
foreach(var NM DLLTOOL DLL DEF OUT OBJECTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "python_import_lib.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} --undefined-only --format=just-symbols ${OBJECTS}
                OUTPUT_VARIABLE undefined RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${OBJECTS}")
endif()
string(REPLACE "\n" ";" undefined "${undefined}")

set(symbols)
foreach(sym IN LISTS undefined)
  string(REGEX REPLACE "^__imp_" "" sym "${sym}")
  # The C API and its data all start with Py or _Py.
  if(sym MATCHES "^_?Py[A-Za-z0-9_]+$")
    list(APPEND symbols ${sym})
  endif()
endforeach()
list(REMOVE_DUPLICATES symbols)
list(SORT symbols)
if(NOT symbols)
  message(FATAL_ERROR "no Python symbols referenced by ${OBJECTS}")
endif()

list(JOIN symbols "\n" body)
file(WRITE ${DEF} "LIBRARY ${DLL}\nEXPORTS\n${body}\n")
execute_process(COMMAND ${DLLTOOL} --dllname ${DLL} --input-def ${DEF} --output-lib ${OUT}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not write ${OUT}")
endif()
