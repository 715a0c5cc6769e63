# One target that builds exactly what `cmake --install` takes (the show, the tools a user runs
# and their manual pages), so that the Debian package and the release tarball, which configure
# with CMAKE_SKIP_INSTALL_ALL_DEPENDENCY, build nothing else: no party intro, benches or fuzz
# replayers.
get_property(kelvorinsaa_man_targets DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
list(FILTER kelvorinsaa_man_targets INCLUDE REGEX "^man_")
add_custom_target(kelvorinsaa_installed_files)
add_dependencies(kelvorinsaa_installed_files kelvorinsaa ${KELVORINSAA_INSTALLED_TOOLS}
                 ${kelvorinsaa_man_targets})

# Every library the installed programs need is one the release tarball knows how to meet
# (packaging/release_libraries.txt): a new one fails here, not first in a release. A sanitized
# build's programs need the sanitizers' runtimes, which no release carries: nothing to check there.
if(BUILD_TESTING AND NOT KELVORINSAA_SANITIZE AND NOT KELVORINSAA_TSAN AND NOT KELVORINSAA_FUZZ)
  set(kelvorinsaa_installed_program_files)
  foreach(program kelvorinsaa ${KELVORINSAA_INSTALLED_TOOLS})
    list(APPEND kelvorinsaa_installed_program_files $<TARGET_FILE:${program}>)
  endforeach()
  add_test(NAME release.libraries_known
           COMMAND bash ${CMAKE_SOURCE_DIR}/packaging/check_release_folder.sh --needs
                   ${kelvorinsaa_installed_program_files})
  set_tests_properties(release.libraries_known PROPERTIES LABELS release)
endif()
