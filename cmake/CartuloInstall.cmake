# Where an installed Cartulo lives (Debian's layout). The program keeps its rule of finding
# its description file and its archive next to itself: its private folder holds links to
# the configuration in /etc and the shared archive in /var/lib, made by the package.
include(GNUInstallDirs)

set(CARTULO_PROGRAM_DIR lib/cartulo CACHE STRING "The program's folder, under the prefix")
set(CARTULO_DATA_DIR ${CMAKE_INSTALL_DATADIR}/cartulo CACHE STRING "Picture library and screenshots, under the prefix")
set(CARTULO_CONFIG_DIR /etc/cartulo)
set(CARTULO_ARCHIVE_DIR /var/lib/cartulo)

# The program in its folder; /usr/bin/cartulo is a link, and the program resolves it to
# find its folder.
if(TARGET cartulo)
  install(TARGETS cartulo RUNTIME DESTINATION ${CARTULO_PROGRAM_DIR})
endif()
install(FILES ${CMAKE_BINARY_DIR}/bin/img/ctlo.rcc DESTINATION ${CARTULO_DATA_DIR}/img)

# Every administrator's tool: each executable target named cartulo-* defined in tools/
# (and its sub-folders), so a tool added there comes along; cartulo-artgen only paints
# the picture library during the build.
function(cartulo_install_tools folder)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE" AND target MATCHES "^cartulo-" AND NOT target STREQUAL "cartulo-artgen")
      install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
  get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS subfolders)
    cartulo_install_tools(${subfolder})
  endforeach()
endfunction()
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/CMakeLists.txt)
  cartulo_install_tools(${CMAKE_SOURCE_DIR}/tools)
endif()

# The description file the package installs: a configuration file, never replaced once
# edited. It names the archive the package makes at installation.
set(CARTULO_INSTALLED_DESCRIPTION ${CMAKE_BINARY_DIR}/packaging/cartulo.udl)
file(WRITE ${CARTULO_INSTALLED_DESCRIPTION}
  "[oledb]\n; Everything after this line is an OLE DB initstring\n"
  "Provider=SQLite;Data Source=${CARTULO_ARCHIVE_DIR}/cartulo.db\n")
install(FILES ${CARTULO_INSTALLED_DESCRIPTION} DESTINATION ${CARTULO_CONFIG_DIR})

# Links, made in the build tree and installed as links.
function(cartulo_install_link target destination name)
  set(link ${CMAKE_BINARY_DIR}/packaging/links/${destination}/${name})
  get_filename_component(folder ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(CREATE_LINK ${target} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION ${destination})
endfunction()
file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/packaging/links)
file(RELATIVE_PATH _to_program /${CMAKE_INSTALL_BINDIR} /${CARTULO_PROGRAM_DIR}/cartulo)
cartulo_install_link(${_to_program} ${CMAKE_INSTALL_BINDIR} cartulo)
cartulo_install_link(${CARTULO_CONFIG_DIR}/cartulo.udl ${CARTULO_PROGRAM_DIR} cartulo.udl)
cartulo_install_link(${CARTULO_ARCHIVE_DIR} ${CARTULO_PROGRAM_DIR} dados)
# cartulo-copy and cartulo-gen look for a file archive's pages beside its description file.
cartulo_install_link(${CARTULO_ARCHIVE_DIR} ${CARTULO_CONFIG_DIR} dados)

if(EXISTS ${CMAKE_SOURCE_DIR}/packaging/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)
endif()
