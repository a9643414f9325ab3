# Installation and the Debian packages (CPack, DEB generator).
#
# Two components, one package each:
#   updater  update in sbin: the instrument's program, packaged from the armhf build
#   tools    update-medium and update-sim in bin: the release engineers' tools
# scripts/package.sh builds each package from its own build tree
# (cpack -D CPACK_COMPONENTS_ALL=<component>); a plain `cmake --install`
# installs both components.
include(GNUInstallDirs)

set(UPD_PACKAGE_MAINTAINER "The 4271C updater authors <4271c-updater@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

set(upd_updater_package ${PROJECT_NAME})
set(upd_tools_package ${PROJECT_NAME}-tools)

install(TARGETS update RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT updater)
install(TARGETS update-medium update-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT tools)

# Debian wants manual pages and the changelog compressed, without a name or a
# time stamp in the gzip header so that the packages are reproducible.
find_program(UPD_GZIP gzip)
set(upd_gzipped)
function(upd_gzip source output)
  if(NOT UPD_GZIP)
    message(FATAL_ERROR "gzip is needed to compress ${source}")
  endif()
  get_filename_component(folder ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${UPD_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
  set(upd_gzipped ${upd_gzipped} ${output} PARENT_SCOPE)
endfunction()

# Manual pages: man/<program>.<section> goes with the package of that
# program (update(8) with the updater, the others with the tools).
file(GLOB upd_man_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.[1-9])
foreach(page IN LISTS upd_man_pages)
  get_filename_component(page_name ${page} NAME)
  string(REGEX MATCH "^(.+)\\.([1-9])$" _ ${page_name})
  set(program ${CMAKE_MATCH_1})
  set(section ${CMAKE_MATCH_2})
  set(component tools)
  if(program STREQUAL "update")
    set(component updater)
  endif()
  upd_gzip(${page} ${CMAKE_BINARY_DIR}/man/${page_name}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page_name}.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endforeach()

# Each package's copyright (machine-readable) and changelog, where Debian
# looks for them (share/doc/<package>/), and its lintian overrides.
upd_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
foreach(component IN ITEMS updater tools)
  set(package ${upd_${component}_package})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright
                ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
          COMPONENT ${component})
endforeach()
add_custom_target(upd_package_files ALL DEPENDS ${upd_gzipped})

# The package's architecture is the build's: a cross build names its own
# (armhf for the instrument), which dpkg derives from the GNU triplet.
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(
    COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The 4271C updater authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${UPD_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Packaging revision 1 of the release: the doc folders hold changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${UPD_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SOURCE ${PROJECT_NAME})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Run-time dependencies (libc6, libssl3, libstdc++6, libgcc-s1) from the
# binaries themselves; a cross build needs DEB_HOST_ARCH set for cpack.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_UPDATER_PACKAGE_NAME ${upd_updater_package})
set(CPACK_DEBIAN_UPDATER_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_UPDATER_DESCRIPTION
    "firmware updater of the 4271C bench instrument
The updater installs new software on the 4271C from a USB stick: it mounts
the stick, reads its update manifest, checks the manifest's signature and the
digests of the files it names, runs its steps, and reboots the instrument or
restarts its main application. Failures are shown on the instrument's display
and written to its error log.
This package belongs in the instrument's system image.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${upd_tools_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS openssl)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "imagemagick, fonts-dejavu-core")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "release tools for 4271C update media
update-medium checks an update medium for the 4271C bench instrument as the
instrument's updater would read it, reporting every refusal with its code and
line, and fills in the digests of the files its manifest names.
update-sim runs the updater itself on a simulated instrument kept in a
directory, to dry-run a medium before it ships; with ImageMagick it draws the
instrument's screens.")

include(CPack)
