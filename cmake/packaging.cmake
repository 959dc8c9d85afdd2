# Debian packages from a shared build, the two a library ships as:
#   libavltree<major>  the shared library libavltree.so.<major> (component
#                      `runtime`)
#   libavltree-dev     header, static library, the .so link, CMake package
#                      files and avl.pc (component `dev`), depending on the first.
# The names are libavltree, not libavl: Debian ships another AVL library as
# libavl1 and libavl-dev, with libavl.so.1. CI checks with apt-file that no
# Debian package has these names or any of their files.
#
#   cmake -S . -B build-deb -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX=/usr \
#     -DAVL_BUILD_TESTS=OFF -DAVL_BUILD_BENCHMARKS=OFF -DAVL_BUILD_TOOLS=OFF
#   cmake --build build-deb -j2 && (cd build-deb && cpack -G DEB)
#
# (The packages hold only the library, so that build compiles nothing else.)
#
# The prefix must be /usr at configure time so that the library lands in
# Debian's multiarch directory (lib/<triplet>).
set(AVL_PACKAGE_MAINTAINER "The avl developers <avl@example.org>"
    CACHE STRING "Maintainer named in the Debian packages")

set(CPACK_PACKAGE_NAME avl)
set(CPACK_PACKAGE_VENDOR "The avl developers")
set(CPACK_PACKAGE_CONTACT "${AVL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(runtime_package libavltree${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# A description's first line is the package's synopsis; blank lines part
# paragraphs. The project-wide summary stays empty, or CPack would put it in
# front of each package's own synopsis.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(about_avl
    "A height-balanced binary search tree of 32-bit signed keys in which every
node carries its own balance factor. Equal keys may repeat. Insertion,
deletion, lookup, bounds, counts, ordered walks and an invariant check,
through a C interface usable from C and C++.")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "AVL tree of 32-bit signed keys - shared library
${about_avl}

This package contains the shared library.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libavltree-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "AVL tree of 32-bit signed keys - development files
${about_avl}

This package contains the header, the static library, the CMake package
files and the pkg-config file.")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)

# The runtime package lets dpkg's trigger run ldconfig when it is installed or
# removed, and tells dpkg-shlibdeps which package provides the library.
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs
     "libavltree ${PROJECT_VERSION_MAJOR} ${runtime_package} (>= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers
                                               ${PROJECT_BINARY_DIR}/debian/shlibs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# CPack adds maintainer scripts that call ldconfig themselves; they come out
# again once the packages are built (see the script).
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/drop_ldconfig_scripts.cmake)

# Each package carries the license and a changelog in its doc directory.
string(TIMESTAMP AVL_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
               ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
find_program(AVL_GZIP gzip)
if(AVL_GZIP)
  execute_process(COMMAND ${AVL_GZIP} -9nf ${PROJECT_BINARY_DIR}/debian/changelog.Debian)
  foreach(component runtime dev)
    string(TOUPPER ${component} upper)
    set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
                  ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
            DESTINATION ${doc_dir} COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Shared library")
cpack_add_component(dev DISPLAY_NAME "Development files" DEPENDS runtime)
