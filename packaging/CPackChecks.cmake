# Read by cpack. Without dpkg-shlibdeps, or the `file` command it relies on,
# CPack would quietly build a package that depends on nothing.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(ORB_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(ORB_FILE file)
  if(NOT ORB_DPKG_SHLIBDEPS OR NOT ORB_FILE)
    message(FATAL_ERROR "dpkg-shlibdeps or file was not found. Install the Debian packages dpkg-dev and file "
                        "(`make package` installs them).")
  endif()
endif()
