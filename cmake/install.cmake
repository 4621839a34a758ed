# Installation and the Debian package.
#
# cmake --install puts the program into bin/ as vartena-setup, the utility
# library and its C header into lib/ and include/, and the manual page
# vartena-setup(1), compressed, into share/man/man1/.  cpack builds one
# Debian package of it whose dependencies name the toolkit's runtime
# packages (Vibrant, the core library, Motif, Xt and Xlib) and the C and C++
# runtimes, as Debian 12 calls them.

set(VART_MAN_PAGE ${CMAKE_SOURCE_DIR}/man/vartena-setup.1)
set(VART_MAN_GZ ${CMAKE_BINARY_DIR}/man/vartena-setup.1.gz)
add_custom_command(OUTPUT ${VART_MAN_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND gzip -9 -n -c ${VART_MAN_PAGE} > ${VART_MAN_GZ}
  DEPENDS ${VART_MAN_PAGE}
  COMMENT "Compressing the manual page")
add_custom_target(man_page ALL DEPENDS ${VART_MAN_GZ})

install(TARGETS vartena-setup RUNTIME DESTINATION bin)
install(TARGETS utility ARCHIVE DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/utility/utility.h DESTINATION include)
install(FILES ${VART_MAN_GZ} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vartena-setup)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "setup program of the Vartena package")
set(CPACK_PACKAGE_DESCRIPTION
  "The X window that prepares a directory for the Vartena package, a package\nfor the numerical study of dynamical systems (Full and User installation),\nwith the package's utility library and its C header.")
set(CPACK_PACKAGE_CONTACT "Vartena developers <vartena-authors@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libvibrant6b, libncbi6, libxm4, libxt6, libx11-6, libstdc++6, libgcc-s1, libc6")
# The C++ compiler builds autodif in a Full installation; mail sends the
# install notice when the user agrees.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mailutils | mail-transport-agent")
include(CPack)
