# What `cmake --install BUILD [--prefix P]` puts where, in the GNU layout (GNUInstallDirs, every
# destination relative to the prefix, DESTDIR honoured): the show and the tools a user runs, their
# manual pages, the desktop entries, the icon, the metainfo, the web build's pages when that build
# was there at configure time, and the licence, README and changes. The bench and test programs
# stay in the build folder.
include(GNUInstallDirs)

set(KELVORINSAA_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kelvorinsaa)
set(KELVORINSAA_APP_ID org.example.kelvorinsaa)  # the desktop entry's and the metainfo's name

# --- manual pages: written once in scdoc (docs/man/NAME.SECTION.scd), made into roff here ---
find_program(SCDOC_PROGRAM scdoc)
if(NOT SCDOC_PROGRAM)
  message(STATUS "scdoc not found: the manual pages are neither built nor installed")
endif()
set(KELVORINSAA_MAN_DIR ${CMAKE_BINARY_DIR}/man)

# Builds docs/man/NAME.SECTION.scd into BUILD/man/NAME.SECTION and installs it in manSECTION.
function(kelvorinsaa_man_page name section)
  if(NOT SCDOC_PROGRAM)
    return()
  endif()
  set(source ${CMAKE_SOURCE_DIR}/docs/man/${name}.${section}.scd)
  set(page ${KELVORINSAA_MAN_DIR}/${name}.${section})
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DSCDOC=${SCDOC_PROGRAM} -DINPUT=${source} -DOUTPUT=${page}
            -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/scdoc.cmake
    DEPENDS ${source} ${CMAKE_SOURCE_DIR}/cmake/scdoc.cmake
            ${CMAKE_BINARY_DIR}/generated/version/kelvorinsaa_version.h  # a new release's number
    COMMENT "Writing the manual page ${name}(${section})")
  add_custom_target(man_${name} ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

# A program a user runs: into bin, with its page docs/man/NAME.1.scd.
function(kelvorinsaa_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  kelvorinsaa_man_page(${target} 1)
endfunction()

# --- the show, and the name that flips full screen and window (a link made by the build) ---
kelvorinsaa_install_program(kelvorinsaa)
install(FILES ${CMAKE_BINARY_DIR}/kelvorinsaaw DESTINATION ${CMAKE_INSTALL_BINDIR})
if(SCDOC_PROGRAM)
  # kelvorinsaa(1) is kelvorinsaaw's page too: a link, as Debian's policy prefers to .so.
  file(MAKE_DIRECTORY ${KELVORINSAA_MAN_DIR})
  file(CREATE_LINK kelvorinsaa.1 ${KELVORINSAA_MAN_DIR}/kelvorinsaaw.1 SYMBOLIC)
  install(FILES ${KELVORINSAA_MAN_DIR}/kelvorinsaaw.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# --- the tools a user runs: one name each, and its page docs/man/NAME.1.scd. The metainfo's
# <provides> names them too. kelvorinsaa-import joins them with tools/import: its page is written.
set(KELVORINSAA_INSTALLED_TOOLS kelvorinsaa-play kelvorinsaa-render kelvorinsaa-songcheck
    kelvorinsaa-capture)
foreach(tool ${KELVORINSAA_INSTALLED_TOOLS})
  kelvorinsaa_install_program(${tool})
endforeach()

# --- the song language ---
kelvorinsaa_man_page(kelvorinsaa-song 5)

# --- the desktop: the show's entry, its icon and its metainfo ---
set(KELVORINSAA_DATA_SOURCE ${CMAKE_SOURCE_DIR}/data)
install(FILES ${KELVORINSAA_DATA_SOURCE}/${KELVORINSAA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KELVORINSAA_DATA_SOURCE}/${KELVORINSAA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128 256)
  install(FILES ${KELVORINSAA_DATA_SOURCE}/icons/${size}/kelvorinsaa.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# --- the web build's pages, found when that build was made before this one was configured ---
set(KELVORINSAA_INSTALLED_PAGES)
foreach(page kelvorinsaa.html kelvorinsaa-studio.html)
  if(EXISTS ${KELVORINSAA_WEB_BUILD_DIR}/${page})
    install(FILES ${KELVORINSAA_WEB_BUILD_DIR}/${page} DESTINATION ${KELVORINSAA_DATA_DIR})
    list(APPEND KELVORINSAA_INSTALLED_PAGES ${page})
  endif()
endforeach()
if(kelvorinsaa-studio.html IN_LIST KELVORINSAA_INSTALLED_PAGES)
  # The studio opens in the default browser; its entry names the installed file, under the
  # prefix of the installation (cmake --install --prefix may change it), so it is written then.
  set(studio_entry ${CMAKE_BINARY_DIR}/generated/${KELVORINSAA_APP_ID}.studio.desktop)
  install(CODE "
    set(data_dir \"${CMAKE_INSTALL_DATADIR}\")
    if(NOT IS_ABSOLUTE \"\${data_dir}\")
      set(data_dir \"\${CMAKE_INSTALL_PREFIX}/\${data_dir}\")
    endif()
    set(KELVORINSAA_STUDIO_PAGE \"\${data_dir}/kelvorinsaa/kelvorinsaa-studio.html\")
    configure_file(\"${KELVORINSAA_DATA_SOURCE}/${KELVORINSAA_APP_ID}.studio.desktop.in\"
                   \"${studio_entry}\" @ONLY)")
  install(FILES ${studio_entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
if(KELVORINSAA_INSTALLED_PAGES)
  message(STATUS "Installing the web build's pages: ${KELVORINSAA_INSTALLED_PAGES}")
else()
  message(STATUS "No web build in ${KELVORINSAA_WEB_BUILD_DIR}: its pages are not installed")
endif()

# --- the licence, the front page and the changes ---
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
              ${CMAKE_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The installation into a scratch folder, checked file by file and by the validators.
if(BUILD_TESTING)
  set(man_pages_built OFF)
  if(SCDOC_PROGRAM)
    set(man_pages_built ON)
  endif()
  string(JOIN " " installed_tools ${KELVORINSAA_INSTALLED_TOOLS})
  string(JOIN " " installed_pages ${KELVORINSAA_INSTALLED_PAGES})
  add_test(NAME install.layout
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION} ${KELVORINSAA_APP_ID} ${man_pages_built}
                   "${installed_tools}" "${installed_pages}")
  set_tests_properties(install.layout PROPERTIES LABELS install SKIP_RETURN_CODE 77)
endif()
