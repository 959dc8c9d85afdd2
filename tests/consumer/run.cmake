# Builds and runs the programs that use an installed library the ways users
# do. Without PKG_CONFIG:
#   - the C++ project in tests/consumer with find_package(avl <version> EXACT);
#   - the C project in tests/c_consumer with find_package(avl CONFIG);
# with -DPKG_CONFIG=<pkg-config>:
#   - the same C program with the C compiler, and the C++ one with the C++
#     compiler, each with `pkg-config --cflags --libs avl`.
# Each program's output is compared byte for byte (c_consumer/expected.txt,
# consumer/expected.txt.in), and the version the header, the CMake package
# and avl.pc give with VERSION, the project's.
#
# By default the build tree BUILD_DIR is installed into a scratch prefix
# first, and a shared install is run with LD_LIBRARY_PATH pointing into it,
# as nothing else would find it. With -DINSTALLED=ON the library is taken as
# the system has it (the Debian packages): nothing is installed, and CMake
# and pkg-config look where they look by default.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

include(${CMAKE_CURRENT_LIST_DIR}/run_helpers.cmake)

function(expect_output what expected)
  if(NOT last_output STREQUAL expected)
    message(FATAL_ERROR "${what} printed '${last_output}', expected '${expected}'")
  endif()
  message(STATUS "${what}: as expected")
endfunction()

if(INSTALLED)
  set(run_env "")
  set(pkg_config ${PKG_CONFIG})
  set(prefix_path "")
else()
  run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
  # lib/, or lib/<multiarch>/ when the build was configured for the /usr prefix
  file(GLOB_RECURSE pc_file "${prefix}/*.pc")
  list(FILTER pc_file INCLUDE REGEX "/pkgconfig/avl\\.pc$")
  if(NOT pc_file)
    message(FATAL_ERROR "the install put no pkgconfig/avl.pc under ${prefix}")
  endif()
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  get_filename_component(lib_dir "${pc_dir}" DIRECTORY)
  set(run_env ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${lib_dir}")
  set(pkg_config ${CMAKE_COMMAND} -E env "PKG_CONFIG_PATH=${pc_dir}" ${PKG_CONFIG})
  set(prefix_path -DCMAKE_PREFIX_PATH=${prefix})
endif()
file(READ "${SOURCE_DIR}/c_consumer/expected.txt" c_expected)
file(READ "${SOURCE_DIR}/consumer/expected.txt.in" cxx_expected)
string(CONFIGURE "${cxx_expected}" cxx_expected @ONLY)

if(PKG_CONFIG)
  run(${pkg_config} --modversion avl)
  expect_output("pkg-config --modversion avl" "${VERSION}\n")
  run(${pkg_config} --cflags --libs avl)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(${C_COMPILER} -std=c99 -Wall -Wextra -pedantic -Werror "${SOURCE_DIR}/c_consumer/main.c"
      ${flags} -o "${WORK_DIR}/c_pkg_config")
  run(${run_env} "${WORK_DIR}/c_pkg_config")
  expect_output("C consumer (cc + pkg-config: ${flags})" "${c_expected}")
  run(${CXX_COMPILER} -std=c++20 -Wall -Wextra -Wpedantic -Werror "${SOURCE_DIR}/consumer/main.cpp"
      ${flags} -o "${WORK_DIR}/cxx_pkg_config")
  run(${run_env} "${WORK_DIR}/cxx_pkg_config")
  expect_output("C++20 consumer (c++ + pkg-config: ${flags})" "${cxx_expected}")
  return()
endif()

run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/consumer" -B "${WORK_DIR}/cxx" -G "${GENERATOR}"
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} ${prefix_path} -DCMAKE_BUILD_TYPE=Release
    -DAVL_EXPECTED_VERSION=${VERSION})
run(${CMAKE_COMMAND} --build "${WORK_DIR}/cxx")
run(${run_env} "${WORK_DIR}/cxx/avl_consumer")
expect_output("C++ consumer (find_package ${VERSION} EXACT)" "${cxx_expected}")

run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/c_consumer" -B "${WORK_DIR}/c" -G "${GENERATOR}"
    -DCMAKE_C_COMPILER=${C_COMPILER} ${prefix_path} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build "${WORK_DIR}/c")
run(${run_env} "${WORK_DIR}/c/avl_c_consumer")
expect_output("C consumer (find_package)" "${c_expected}")
