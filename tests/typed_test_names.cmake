# Runs after gtest_discover_tests has written FILE, the ctest script of one
# test binary. CMake 3.25 names each case of a typed suite whose types have
# names (TYPED_TEST_SUITE with a name generator) after the whole line
# GoogleTest lists for the type, "Suite.Case<Suite/name.  # TypeParam = ...>"
# with up to 250 characters of the type's own name, and ctest pads every one
# of its lines to the longest name. This gives such a case GoogleTest's own
# name, "Suite/name.Case", the one its --gtest_filter already uses.
file(READ "${FILE}" script)
string(REGEX REPLACE
             "([A-Za-z0-9_]+)\\.([A-Za-z0-9_]+)<[A-Za-z0-9_]+/([A-Za-z0-9_]+)\\.  # TypeParam = [^]]*>\\]"
             "\\1/\\3.\\2]" renamed "${script}")
if(NOT renamed STREQUAL script)
  file(WRITE "${FILE}" "${renamed}")
endif()
