# SPDX-License-Identifier: BSD-2-Clause
# Debian packages made by CPack's DEB generator, one package per install
# component that this build installs:
#   library      libg723-1           the shared library
#   development  libg723-dev         header, .so link, pkg-config, CMake package
#   tool         g723-tools          the g723 tool, its manual page, completion
#   gstreamer    gstreamer1.0-g723   the GStreamer elements
#   wireshark    wireshark-g723      the Wireshark codec plugin
#   baresip      baresip-g723        the baresip codec module
# Another plugin is one more install component and one more entry below.
# The dependencies on shared libraries come from dpkg-shlibdeps; the
# library package declares its SONAME in a shlibs file, from which the
# packages using it depend on it.
#
# Configure with -DCMAKE_INSTALL_PREFIX=/usr (so that the library lands in
# the multiarch folder), build, then run cpack -G DEB in the build folder;
# scripts/make-packages.sh does all three.

# name;section;summary;description, per component.
set(G723_DEB_library libg723-1 libs
  "G.723.1 speech codec library"
  "A G.723.1 speech codec at 6.3 kbit/s with the silence compression of its
Annex A (voice activity detection, SID frames, comfort noise) and frame
erasure concealment, as a shared library with a plain C interface.")
set(G723_DEB_development libg723-dev libdevel
  "G.723.1 speech codec library - development files"
  "The header g723/g723.h, the link to the shared library, and the
pkg-config and CMake package descriptions (pkg-config g723,
find_package(g723)) for building programs that code and decode G.723.1.")
set(G723_DEB_tool g723-tools sound
  "G.723.1 speech coder and RTP call decoder"
  "The g723 tool codes audio files into G.723.1 bit-streams and back,
measures a round trip, describes bit-streams, decodes and measures the
G.723.1 RTP streams of packet captures, and sends and receives them over
UDP.")
set(G723_DEB_gstreamer gstreamer1.0-g723 sound
  "GStreamer elements for the G.723.1 speech codec"
  "The elements g723enc and g723dec code 8 kHz mono speech into G.723.1
frames and back, with silence compression and frame erasure concealment;
rtpg723pay and rtpg723depay carry them over RTP.")
set(G723_DEB_wireshark wireshark-g723 net
  "G.723.1 codec plugin for Wireshark"
  "Lets Wireshark's RTP Player play the G.723.1 streams of captured calls,
and tshark and sharkd export them as audio.")

set(G723_DEB_baresip baresip-g723 sound
  "G.723.1 codec module for baresip"
  "Makes the baresip SIP user agent a G.723.1 softphone: the module g723
registers G723/8000 (payload type 4) with 30, 60 or 90 ms packets,
negotiates silence compression with the SDP parameter annexa, and conceals
lost packets.")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME g723)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Maintainer field: the builder's name and address as Debian's tools
# take them (DEBFULLNAME, DEBEMAIL), else one that says there is none to
# write to (.invalid is reserved for that).
set(CPACK_PACKAGE_CONTACT "g723 authors <g723@packages.invalid>")
if(DEFINED ENV{DEBEMAIL})
  set(CPACK_PACKAGE_CONTACT "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${G723_HOME_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The copyright file of every package: the licence in Debian's
# machine-readable format.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE G723_LICENSE)
string(REGEX REPLACE "\n+$" "" G723_LICENSE "${G723_LICENSE}")
string(REGEX REPLACE "\n\n" "\n.\n" G723_LICENSE "${G723_LICENSE}")
string(REGEX REPLACE "\n" "\n " G723_LICENSE " ${G723_LICENSE}")
file(WRITE ${PROJECT_BINARY_DIR}/debian/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: g723

Files: *
Copyright: the g723 authors
License: BSD-2-Clause
${G723_LICENSE}
")
# The changelog, compressed as Debian ships changelogs.
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n
  INPUT_FILE ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)

get_cmake_property(G723_COMPONENTS COMPONENTS)
set(CPACK_COMPONENTS_ALL "")
foreach(component IN LISTS G723_COMPONENTS)
  if(NOT DEFINED G723_DEB_${component})
    message(FATAL_ERROR "install component '${component}' has no Debian package in ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  list(GET G723_DEB_${component} 0 package)
  list(GET G723_DEB_${component} 1 section)
  list(GET G723_DEB_${component} 2 summary)
  # The description is the rest, semicolons and all.
  list(SUBLIST G723_DEB_${component} 3 -1 description)
  list(JOIN description ";" description)
  string(TOUPPER ${component} upper)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section})
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "${summary}\n${description}")
  install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# The library's shlibs file: programs linked against libg723.so.1 need
# libg723-1 of at least the release that brought the calls they use (the
# version node G723_1.0 came with 1.0.0). dpkg-shlibdeps finds the library
# and this file for the packages that use it in a package build tree as
# debhelper lays it out (debian/libg723-1/DEBIAN/shlibs beside the library,
# here a link to the one built).
set(G723_DEB_LIBRARY_TREE ${PROJECT_BINARY_DIR}/debian/libg723-1)
file(MAKE_DIRECTORY ${G723_DEB_LIBRARY_TREE}/DEBIAN ${G723_DEB_LIBRARY_TREE}${CMAKE_INSTALL_FULL_LIBDIR})
file(WRITE ${G723_DEB_LIBRARY_TREE}/DEBIAN/shlibs "libg723 ${PROJECT_VERSION_MAJOR} libg723-1 (>= 1.0.0)\n")
# Its symbols file: every exported call with the release that brought it,
# read from the public header (each G723_API declaration) so that a call
# added there cannot be missed; scripts/test-packages.sh checks it against
# the library's dynamic symbols.
file(STRINGS ${PROJECT_SOURCE_DIR}/g723/g723.h G723_DECLARATIONS REGEX "^G723_API .*g723_[a-z_0-9]+\\(")
set(G723_SYMBOLS "libg723.so.${PROJECT_VERSION_MAJOR} libg723-1 #MINVER#\n G723_1.0@G723_1.0 1.0.0\n")
set(G723_CALLS "")
foreach(line IN LISTS G723_DECLARATIONS)
  string(REGEX MATCH "g723_[a-z_0-9]+\\(" call "${line}")
  string(REPLACE "(" "" call "${call}")
  list(APPEND G723_CALLS ${call})
endforeach()
list(REMOVE_DUPLICATES G723_CALLS)
list(SORT G723_CALLS)
foreach(call IN LISTS G723_CALLS)
  string(APPEND G723_SYMBOLS " ${call}@G723_1.0 1.0.0\n")
endforeach()
file(WRITE ${G723_DEB_LIBRARY_TREE}/DEBIAN/symbols "${G723_SYMBOLS}")
file(CREATE_LINK ${PROJECT_BINARY_DIR}/g723/libg723.so.${PROJECT_VERSION_MAJOR}
  ${G723_DEB_LIBRARY_TREE}${CMAKE_INSTALL_FULL_LIBDIR}/libg723.so.${PROJECT_VERSION_MAJOR} SYMBOLIC)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${G723_DEB_LIBRARY_TREE}${CMAKE_INSTALL_FULL_LIBDIR})
# The library's folder is in the dynamic linker's cache: dpkg's ldconfig
# trigger renews it (CPack adds its own ldconfig calls in postinst and postrm
# beside that, which are harmless).
file(WRITE ${G723_DEB_LIBRARY_TREE}/DEBIAN/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${G723_DEB_LIBRARY_TREE}/DEBIAN/shlibs
  ${G723_DEB_LIBRARY_TREE}/DEBIAN/symbols ${G723_DEB_LIBRARY_TREE}/DEBIAN/triggers)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libg723-1 (= ${PROJECT_VERSION})")
# Wireshark loads codec plugins from a folder of its own major.minor release
# and only those built for it: the plugin goes with the Wireshark it was
# built against, and says which programs it adds to.
if(WIRESHARK_VERSION_MAJOR_MINOR)
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" matched "${WIRESHARK_VERSION_MAJOR_MINOR}")
  math(EXPR G723_WIRESHARK_NEXT_MINOR "${CMAKE_MATCH_2} + 1")
  set(CPACK_DEBIAN_WIRESHARK_PACKAGE_DEPENDS "wireshark-common (>= ${WIRESHARK_VERSION_MAJOR_MINOR}), wireshark-common (<< ${CMAKE_MATCH_1}.${G723_WIRESHARK_NEXT_MINOR}~)")
  set(CPACK_DEBIAN_WIRESHARK_PACKAGE_ENHANCES "wireshark, tshark")
endif()
# The library and its development files can be installed for several
# architectures side by side; CPack has no field for that, so
# scripts/make-packages.sh adds "Multi-Arch: same" to these two packages.
# baresip has no stable module interface: the module declares baresip
# 1.0.0's codec records itself, so it goes with that release only.
set(CPACK_DEBIAN_BARESIP_PACKAGE_DEPENDS "baresip-core (>= 1.0.0), baresip-core (<< 1.0.1~)")

include(CPack)
