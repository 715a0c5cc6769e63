# One target that builds exactly what `cmake --install` takes (the show, the tools a user runs
# and their manual pages), so that the Debian package and the release tarball, which configure
# with CMAKE_SKIP_INSTALL_ALL_DEPENDENCY, build nothing else: no party intro, benches or fuzz
# replayers.
get_property(kelvorinsaa_man_targets DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY BUILDSYSTEM_TARGETS)
list(FILTER kelvorinsaa_man_targets INCLUDE REGEX "^man_")
add_custom_target(kelvorinsaa_installed_files)
add_dependencies(kelvorinsaa_installed_files kelvorinsaa ${KELVORINSAA_INSTALLED_TOOLS}
                 ${kelvorinsaa_man_targets})
