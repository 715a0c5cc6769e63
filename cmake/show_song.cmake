# Which song the show, the intro and both pages carry: src/music/song.txt, or the builder's own
# with -DKELVORINSAA_SONG=FILE. A relative FILE is taken from the folder cmake is run in, as the
# shell would take it (a FILEPATH cache entry given untyped on the command line is made absolute
# from there). Sets:
#   KELVORINSAA_SONG      the song's absolute path
#   KELVORINSAA_OWN_SONG  ON when it is not src/music/song.txt, whose golden data the tests hold
#   SHOW_SONG_NAME        how the build's messages name it
#   SHOW_SONG_COPY        the copy the build keeps of it, from which the tests of one build learn
#                         what another build (the web build's page) plays
set(KELVORINSAA_DEFAULT_SONG ${CMAKE_SOURCE_DIR}/src/music/song.txt)
set(KELVORINSAA_SONG ${KELVORINSAA_DEFAULT_SONG} CACHE FILEPATH
    "The song the show, the intro and the pages play (a file in the show's song language)")
if(KELVORINSAA_SONG STREQUAL "")
  set_property(CACHE KELVORINSAA_SONG PROPERTY VALUE ${KELVORINSAA_DEFAULT_SONG})
endif()
if(NOT IS_ABSOLUTE "${KELVORINSAA_SONG}")  # typed on the command line, or set by a script
  get_filename_component(song_path "${KELVORINSAA_SONG}" ABSOLUTE BASE_DIR "$ENV{PWD}")
  set_property(CACHE KELVORINSAA_SONG PROPERTY VALUE ${song_path})
endif()
if(NOT EXISTS "${KELVORINSAA_SONG}" OR IS_DIRECTORY "${KELVORINSAA_SONG}")
  message(FATAL_ERROR "KELVORINSAA_SONG: no song file ${KELVORINSAA_SONG}")
endif()
file(REAL_PATH "${KELVORINSAA_SONG}" song_real_path)
file(REAL_PATH "${KELVORINSAA_DEFAULT_SONG}" default_real_path)
if(song_real_path STREQUAL default_real_path)
  set(KELVORINSAA_OWN_SONG OFF)
  set(SHOW_SONG_NAME src/music/song.txt)
else()
  set(KELVORINSAA_OWN_SONG ON)
  set(SHOW_SONG_NAME ${KELVORINSAA_SONG})
  message(STATUS "The show's song: ${KELVORINSAA_SONG}")
endif()
set(SHOW_SONG_COPY ${CMAKE_BINARY_DIR}/generated/show_song.txt)
