# Builds tests/subproject, a parent that pulls the library in with
# add_subdirectory, and checks that the library leaves the parent's choices
# alone: no build type forced into a parent that set none, the parent's own
# build type kept, none of the library's programs built (nor a heap chosen for
# them), and nothing of the library in the parent's install, whose program
# carries the library inside it. A parent that asks for the install
# (-DAVL_INSTALL=ON) gets it, with an absolute library directory kept as given
# in avl.pc.
file(REMOVE_RECURSE "${WORK_DIR}")

include(${CMAKE_CURRENT_LIST_DIR}/../consumer/run_helpers.cmake)

function(expect_cached build_dir variable expected)
  file(STRINGS "${build_dir}/CMakeCache.txt" line REGEX "^${variable}:")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  if(NOT value STREQUAL expected)
    message(FATAL_ERROR "${variable} is '${value}' in ${build_dir}, expected '${expected}'")
  endif()
endfunction()

# installed_files(<variable> <prefix>): the files under a prefix, relative to it
function(installed_files variable prefix)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${prefix}" "${prefix}/*")
  list(SORT files)
  set(${variable} "${files}" PARENT_SCOPE)
endfunction()

set(configure ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/subproject" -G "${GENERATOR}"
              -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DAVL_SOURCE_DIR=${SOURCE_DIR})
file(READ "${SOURCE_DIR}/tests/consumer/expected.txt.in" app_output)
string(CONFIGURE "${app_output}" app_output @ONLY)

run(${configure} -B "${WORK_DIR}/untyped")
expect_cached("${WORK_DIR}/untyped" CMAKE_BUILD_TYPE "")

run(${configure} -B "${WORK_DIR}/typed" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if(last_output MATCHES "avl: [^\n]*heap")
  message(FATAL_ERROR "the library chose a heap for programs the parent does not build:\n"
                      "${last_output}")
endif()
expect_cached("${WORK_DIR}/typed" CMAKE_BUILD_TYPE "RelWithDebInfo")
expect_cached("${WORK_DIR}/typed" AVL_BUILD_TESTS "OFF")
expect_cached("${WORK_DIR}/typed" AVL_BUILD_TOOLS "OFF")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/typed")
foreach(program avl_demo avl_dot)
  if(EXISTS "${WORK_DIR}/typed/avl/${program}")
    message(FATAL_ERROR "the parent's default build built the library's ${program}")
  endif()
endforeach()
run("${WORK_DIR}/typed/avl_parent_app")
if(NOT last_output STREQUAL app_output)
  message(FATAL_ERROR "the parent's program printed '${last_output}'")
endif()
run(${CMAKE_COMMAND} --install "${WORK_DIR}/typed" --prefix "${WORK_DIR}/prefix")
installed_files(installed "${WORK_DIR}/prefix")
if(NOT installed STREQUAL "bin/avl_parent_app")
  message(FATAL_ERROR "the parent's install holds '${installed}', expected only its own program")
endif()

set(libdir "${WORK_DIR}/absolute/lib64")
run(${configure} -B "${WORK_DIR}/installing" -DCMAKE_BUILD_TYPE=Release -DAVL_INSTALL=ON
    -DCMAKE_INSTALL_LIBDIR=${libdir})
run(${CMAKE_COMMAND} --build "${WORK_DIR}/installing")
run(${CMAKE_COMMAND} --install "${WORK_DIR}/installing" --prefix "${WORK_DIR}/prefix2")
foreach(expected "${WORK_DIR}/prefix2/include/avl/ADT_avl_tree.h"
                 "${WORK_DIR}/prefix2/include/avl/avl.hpp" "${libdir}/libavltree.a"
                 "${libdir}/cmake/avl/avlConfig.cmake")
  if(NOT EXISTS "${expected}")
    message(FATAL_ERROR "-DAVL_INSTALL=ON installed no ${expected}")
  endif()
endforeach()
file(STRINGS "${libdir}/pkgconfig/avl.pc" pc_dirs REGEX "^(libdir|includedir)=")
if(NOT pc_dirs STREQUAL "libdir=${libdir};includedir=\${prefix}/include")
  message(FATAL_ERROR "avl.pc gives '${pc_dirs}' for libdir ${libdir} and includedir include")
endif()
message(STATUS "add_subdirectory: build type, programs and install left to the parent")
