# Run by CPack after it built the packages (CPACK_POST_BUILD_SCRIPTS).
#
# CPack gives every package with a shared library under /usr/lib a postinst
# and a postrm that call ldconfig, and has no setting to leave them out. The
# runtime package activates dpkg's ldconfig trigger instead (debian/triggers),
# as Debian asks (lintian: maintscript-calls-ldconfig); and a package with a
# postrm stays in state "rc" after `dpkg -r`, as if it had configuration files
# left, until it is purged. So the two scripts are taken out of the built
# package again: it is unpacked and rebuilt with dpkg-deb, its files and the
# rest of its control area as they were.
find_program(dpkg_deb dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/unpacked)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${dpkg_deb} --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  set(dropped "")
  foreach(script postinst postrm)
    if(EXISTS ${tree}/DEBIAN/${script})
      # The project supplies no maintainer scripts: these are CPack's.
      file(READ ${tree}/DEBIAN/${script} text)
      if(NOT text MATCHES "ldconfig")
        message(FATAL_ERROR "${deb}: a ${script} that is not CPack's ldconfig call:\n${text}")
      endif()
      file(REMOVE ${tree}/DEBIAN/${script})
      list(APPEND dropped ${script})
    endif()
  endforeach()
  if(dropped)
    list(JOIN dropped " and " dropped)
    execute_process(COMMAND ${dpkg_deb} --root-owner-group --build ${tree} ${deb} OUTPUT_QUIET
                    COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS "${deb}: CPack's ldconfig ${dropped} left out; dpkg's trigger runs it")
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
