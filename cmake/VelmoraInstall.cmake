# Installing Velmora (cmake --install) and its Debian package (cpack -G DEB).
#
# The program folder is installed as the build lays it out, under
# <prefix>/lib/velmora: the programs, the definitions database, the numbered data
# folders and the updater's folder. The programs find that folder from their own
# location, so the copy works under any prefix; <prefix>/bin/velmora and
# <prefix>/bin/velmora-cli are links to the two programs. A copy the user may not
# write keeps what it writes in his own data folder (app/data_dir.h).
#
# The desktop entry, the AppStream metadata, the icons, the manual pages and the
# shell completion come from share/linux/.
include(GNUInstallDirs)
include(${CMAKE_SOURCE_DIR}/cmake/VelmoraDataNames.cmake)

set(VELMORA_INSTALL_PROGRAM_DIR lib/velmora CACHE STRING "The program folder, relative to the install prefix")
set(VELMORA_HOMEPAGE "https://velmora.example.org" CACHE STRING "The project's web page (package, AppStream)")
set(VELMORA_SCREENSHOT_URL "${VELMORA_HOMEPAGE}/screenshots" CACHE STRING
    "Where share/linux/screenshots/*.png are published (AppStream)")
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers <packages@velmora.example.org>" CACHE STRING
    "The maintainer named in the Debian package")
# The day PROJECT_VERSION was released: the manual pages and the release notes.
set(VELMORA_RELEASE_DATE 2026-12-08)

set(program_dir ${VELMORA_INSTALL_PROGRAM_DIR})
velmora_encoded_name(Update updater_folder)

install(TARGETS velmora-cli RUNTIME DESTINATION ${program_dir})
if(TARGET Velmora)
  install(TARGETS Velmora RUNTIME DESTINATION ${program_dir})
endif()
install(TARGETS velmora_updater RUNTIME DESTINATION ${program_dir}/${updater_folder})
install(FILES ${VELMORA_PROGRAM_DIR}/vlmdb.vmd DESTINATION ${program_dir})
if(TARGET velmora_help)
  velmora_numbered_folder(6 help_subdir)
  install(FILES ${VELMORA_PROGRAM_DIR}/${help_subdir}/English.chm DESTINATION ${program_dir}/${help_subdir})
endif()
if(TARGET velmora_movies)
  velmora_numbered_folder(7 movie_subdir)
  install(DIRECTORY ${VELMORA_PROGRAM_DIR}/${movie_subdir}/ DESTINATION ${program_dir}/${movie_subdir})
endif()
# The language folder holds no file yet; present, it is never made at run time.
velmora_numbered_folder(4 language_subdir)
install(DIRECTORY DESTINATION ${program_dir}/${language_subdir})

# bin/velmora and bin/velmora-cli: relative links into the program folder, so that
# a staged copy (DESTDIR) and the package work alike.
file(RELATIVE_PATH bin_to_program /${CMAKE_INSTALL_BINDIR} /${program_dir})
set(link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_dir})
set(links "")
foreach(pair IN ITEMS "velmora-cli=velmora-cli" "velmora=Velmora")
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 link)
  list(GET pair 1 program)
  if(program STREQUAL "Velmora" AND NOT TARGET Velmora)
    continue()
  endif()
  file(CREATE_LINK ${bin_to_program}/${program} ${link_dir}/${link} SYMBOLIC)
  list(APPEND links ${link_dir}/${link})
endforeach()
install(FILES ${links} DESTINATION ${CMAKE_INSTALL_BINDIR})

add_subdirectory(${CMAKE_SOURCE_DIR}/share/linux ${CMAKE_BINARY_DIR}/share/linux)

# The Debian package: cpack -G DEB in the build folder makes velmora_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR Orlinsk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "startup-entry manager for Wine prefixes and offline Windows")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora shows every program that Windows starts at logon (the Run and RunOnce keys of the
machine and of the user, the common and the user's Startup folder) in one list with version
data, icon, memory use and a rating from its own definitions database. It disables,
re-enables, removes and adds entries, applies or drops pending changes, rolls an apply back,
and saves and loads named profiles. On Linux it manages Wine prefixes and offline Windows
installations; velmora-cli does the same from a shell.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_HOMEPAGE})
# The shared libraries' packages, found by dpkg-shlibdeps from the programs...
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ...and what the window loads without linking it: the QML modules of the movies.
if(TARGET Velmora)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qml6-module-qtquick, qml6-module-qtqml-workerscript")
endif()
# Velmora manages prefixes without running Wine, but Wine runs what it manages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
# The help viewer, and the terminal in which the updater asks for its file.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xchm | kchmviewer, xterm | x-terminal-emulator")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# The test of all this: a staged install, its files validated, its programs used
# on a Wine prefix, and the package (scripts/check-install.sh). It needs the
# window program; the sanitizer builds leave it to the plain one.
if(VELMORA_BUILD_TESTS AND TARGET Velmora AND NOT VELMORA_SANITIZE)
  add_test(NAME install COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-install.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install PROPERTIES LABELS install RUN_SERIAL TRUE TIMEOUT 900)
endif()
