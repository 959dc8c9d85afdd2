# Checks a shared build of the library: its SONAME carries the major version,
# and it exports exactly the functions that the header marks AVL_API, under
# their C names.
#   -DLIBRARY=<libavltree.so> -DHEADER=<ADT_avl_tree.h> -DMAJOR=<n> -DNM=<nm> -DREADELF=<readelf>
execute_process(COMMAND ${READELF} -d "${LIBRARY}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT dynamic MATCHES "Library soname: \\[libavltree\\.so\\.${MAJOR}\\]")
  message(FATAL_ERROR "SONAME is not libavltree.so.${MAJOR}:\n${dynamic}")
endif()

file(STRINGS "${HEADER}" declarations REGEX "^AVL_API ")
set(declared "")
foreach(line IN LISTS declarations)
  if(line MATCHES "([A-Za-z_][A-Za-z0-9_]*)\\(")
    list(APPEND declared ${CMAKE_MATCH_1})
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only --format=posix "${LIBRARY}"
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE " .*" "" name "${line}")
  list(APPEND exported ${name})
endforeach()

list(SORT declared)
list(SORT exported)
list(LENGTH declared count)
if(count LESS 20 OR NOT declared STREQUAL exported)
  message(FATAL_ERROR "exports differ from the header's AVL_API functions\n"
                      "declared: ${declared}\nexported: ${exported}")
endif()
message(STATUS "libavltree.so.${MAJOR} exports the header's ${count} functions and nothing else")
