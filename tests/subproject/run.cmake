# Builds tests/subproject, a parent that pulls the library in with
# add_subdirectory, and checks that the library leaves the parent's choices
# alone: no build type forced into a parent that set none, the parent's own
# build type kept, and nothing but the library installed by the parent's
# install (the demo and avl_dot are the library's own business).
file(REMOVE_RECURSE "${WORK_DIR}")

include(${CMAKE_CURRENT_LIST_DIR}/../consumer/run_helpers.cmake)

function(expect_cached build_dir variable expected)
  file(STRINGS "${build_dir}/CMakeCache.txt" line REGEX "^${variable}:")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  if(NOT value STREQUAL expected)
    message(FATAL_ERROR "${variable} is '${value}' in ${build_dir}, expected '${expected}'")
  endif()
endfunction()

set(configure ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/subproject" -G "${GENERATOR}"
              -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DAVL_SOURCE_DIR=${SOURCE_DIR})

run(${configure} -B "${WORK_DIR}/untyped")
expect_cached("${WORK_DIR}/untyped" CMAKE_BUILD_TYPE "")

run(${configure} -B "${WORK_DIR}/typed" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
expect_cached("${WORK_DIR}/typed" CMAKE_BUILD_TYPE "RelWithDebInfo")
expect_cached("${WORK_DIR}/typed" AVL_BUILD_TESTS "OFF")
run(${CMAKE_COMMAND} --build "${WORK_DIR}/typed")
run("${WORK_DIR}/typed/avl_parent_app")
if(NOT last_output STREQUAL "size 5 root 5: 1 3 3 5 8 \nthrees 2 above two 4\n")
  message(FATAL_ERROR "the parent's program printed '${last_output}'")
endif()
run(${CMAKE_COMMAND} --install "${WORK_DIR}/typed" --prefix "${WORK_DIR}/prefix")
foreach(expected bin/avl_parent_app include/avl/ADT_avl_tree.h include/avl/avl.hpp)
  if(NOT EXISTS "${WORK_DIR}/prefix/${expected}")
    message(FATAL_ERROR "the parent's install lacks ${expected}")
  endif()
endforeach()
foreach(unwanted bin/avl_demo bin/avl_dot)
  if(EXISTS "${WORK_DIR}/prefix/${unwanted}")
    message(FATAL_ERROR "the parent's install put the library's own ${unwanted} there")
  endif()
endforeach()
message(STATUS "add_subdirectory: build type and install left to the parent")
