# kelvorinsaa_bundle_js(TARGET ENTRY OUTPUT [SOURCES file...]): bundles the ES module ENTRY and
# everything it imports into one classic script OUTPUT (an immediately run function, minified)
# with esbuild from the repository's npm packages (scripts/install_deps.sh test), as target
# TARGET. `import text from './x.js' with {type: 'text'}` brings in a file as a string (the
# audio worklet's source). SOURCES are the modules the bundle is rebuilt after; by default every
# .js file beside ENTRY and in src/web, whose modules other pages import too.
include_guard(GLOBAL)
set(KELVORINSAA_ESBUILD ${CMAKE_SOURCE_DIR}/node_modules/.bin/esbuild CACHE FILEPATH
    "esbuild, from the npm packages of package-lock.json")

function(kelvorinsaa_bundle_js target entry output)
  cmake_parse_arguments(BUNDLE "" "" "SOURCES" ${ARGN})
  if(NOT BUNDLE_SOURCES)
    get_filename_component(entry_dir ${entry} DIRECTORY)
    file(GLOB BUNDLE_SOURCES CONFIGURE_DEPENDS ${entry_dir}/*.js ${CMAKE_SOURCE_DIR}/src/web/*.js)
  endif()
  if(NOT EXISTS ${KELVORINSAA_ESBUILD})
    # Name what is missing: npm itself (a package of its own on Debian), or only its install.
    find_program(KELVORINSAA_NPM npm)
    if(NOT KELVORINSAA_NPM)
      message(FATAL_ERROR "No esbuild at ${KELVORINSAA_ESBUILD} and no npm to install it: install "
                          "npm (Debian: apt-get install npm), then run npm ci in ${CMAKE_SOURCE_DIR}")
    endif()
    message(FATAL_ERROR "No esbuild at ${KELVORINSAA_ESBUILD}: the npm packages are not installed: "
                        "run npm ci in ${CMAKE_SOURCE_DIR}")
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${KELVORINSAA_ESBUILD} ${entry} --bundle --format=iife --target=es2020 --minify
            --log-level=warning --outfile=${output}
    DEPENDS ${entry} ${BUNDLE_SOURCES}
    COMMENT "Bundling ${entry}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${output})
endfunction()
