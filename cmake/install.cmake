# Installation and the Debian packages.
#
# Two install components, each one Debian package built by cpack:
# - setup, package vartena-setup: the program bin/vartena-setup, its manual
#   page vartena-setup(1), and the copyright file and the changelog in
#   share/doc/vartena-setup/;
# - dev, package libvartena-utility-dev: the utility library
#   libvartena-utility.a in the multiarch library directory, its C header as
#   include/vartena/utility.h, the pkg-config file vartena-utility.pc and the
#   CMake package VartenaUtility (imported target Vartena::utility), both of
#   which carry the toolkit's and X's link line; its own copyright file and
#   changelog.
# cmake --install lays out the same files under any prefix.
#
# Two builds of one commit give the same packages: file times are
# SOURCE_DATE_EPOCH (when unset, the date of the changelog's latest entry),
# gzip records no name or time, and the compiler leaves out the source and
# build directories (top CMakeLists.txt).

# lib/x86_64-linux-gnu under every prefix, not only under /usr, so that a
# source install and the packages agree.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CMAKE_INSTALL_LIBDIR)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "object code libraries")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VART_SETUP_PACKAGE vartena-setup)
set(VART_DEV_PACKAGE libvartena-utility-dev)
set(VART_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VartenaUtility)

# vart_gzip(SOURCE OUTPUT): OUTPUT is SOURCE compressed with gzip -9n.
function(vart_gzip source output)
  get_filename_component(dir ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
endfunction()
set(VART_MAN_GZ ${CMAKE_BINARY_DIR}/man/vartena-setup.1.gz)
set(VART_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
vart_gzip(${CMAKE_SOURCE_DIR}/man/vartena-setup.1 ${VART_MAN_GZ})
vart_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${VART_CHANGELOG_GZ})
add_custom_target(compressed_docs ALL DEPENDS ${VART_MAN_GZ} ${VART_CHANGELOG_GZ})

# --- setup: the program
install(TARGETS vartena-setup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT setup)
install(FILES ${VART_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT setup)

# --- dev: the library, its header, the pkg-config file, the CMake package
install(TARGETS utility EXPORT VartenaUtility
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS toolkit EXPORT VartenaUtility)
install(FILES ${CMAKE_SOURCE_DIR}/utility/utility.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vartena COMPONENT dev)
install(EXPORT VartenaUtility NAMESPACE Vartena:: FILE VartenaUtilityTargets.cmake
  DESTINATION ${VART_CMAKE_DIR} COMPONENT dev)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VartenaUtilityConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/VartenaUtilityConfig.cmake
  ${CMAKE_BINARY_DIR}/VartenaUtilityConfigVersion.cmake
  DESTINATION ${VART_CMAKE_DIR} COMPONENT dev)
# The pkg-config file names the prefix it is installed under, which only
# the install step knows (cpack installs under /usr): @prefix@ is left for
# it to replace.
set(prefix @prefix@)
configure_file(${CMAKE_SOURCE_DIR}/cmake/vartena-utility.pc.in
  ${CMAKE_BINARY_DIR}/pkgconfig/vartena-utility.pc.in @ONLY)
install(CODE "
  file(READ \"${CMAKE_BINARY_DIR}/pkgconfig/vartena-utility.pc.in\" pc)
  string(REPLACE \"@prefix@\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"${CMAKE_BINARY_DIR}/pkgconfig/vartena-utility.pc\" \"\${pc}\")" COMPONENT dev)
install(FILES ${CMAKE_BINARY_DIR}/pkgconfig/vartena-utility.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# --- each package's copyright file and changelog
foreach(component_package setup:${VART_SETUP_PACKAGE} dev:${VART_DEV_PACKAGE})
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${VART_CHANGELOG_GZ}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# SOURCE_DATE_EPOCH for cpack when the caller sets none: the date of the
# changelog's latest entry, as Debian's own package builds take it.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog VART_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- .*>  " "" VART_CHANGELOG_DATE "${VART_CHANGELOG_TRAILER}")
execute_process(COMMAND date -u -d "${VART_CHANGELOG_DATE}" +%s
  OUTPUT_VARIABLE VART_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake CONTENT "
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${VART_SOURCE_DATE_EPOCH})
endif()
")

set(CPACK_GENERATOR DEB)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL setup dev)
set(CPACK_PACKAGE_NAME ${VART_SETUP_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vartena developers <vartena-authors@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${VART_SETUP_PACKAGE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_SETUP_PACKAGE_NAME ${VART_SETUP_PACKAGE})
set(CPACK_DEBIAN_SETUP_PACKAGE_SECTION science)
set(CPACK_COMPONENT_SETUP_DESCRIPTION "setup program of the Vartena package
The X window that prepares a directory for the Vartena package, a package
for the numerical study of dynamical systems: a Full installation in the
package's home directory, a User installation in any other.")
# The toolkit's runtime packages (Vibrant, the core library, Motif, Xt,
# Xlib) and the C and C++ runtimes, as Debian 12 calls them.  The C++
# compiler builds autodif in a Full installation; the window is drawn in
# Helvetica when these fonts are there, in the fixed font otherwise; mail
# sends the install notice when the user agrees.
set(CPACK_DEBIAN_SETUP_PACKAGE_DEPENDS
  "libvibrant6b, libncbi6, libxm4, libxt6, libx11-6, libstdc++6, libgcc-s1, libc6")
set(CPACK_DEBIAN_SETUP_PACKAGE_RECOMMENDS "g++, xfonts-75dpi | xfonts-100dpi")
set(CPACK_DEBIAN_SETUP_PACKAGE_SUGGESTS "mailutils | mailx, default-mta | mail-transport-agent")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${VART_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION "utility library of the Vartena package's programs
The settings store, string editing, the description-file reader, the
shared-library registry and small file, directory, dialog and command
services that the Vartena package's programs share: a static library with
its C header, a pkg-config file and a CMake package.")
# What the library links: the toolkit, Motif, Xt and Xlib, and the C++
# runtime (it is C++ inside).
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libvibrant6-dev, libncbi6-dev, libmotif-dev, libxt-dev, libx11-dev, libstdc++-12-dev")
include(CPack)
