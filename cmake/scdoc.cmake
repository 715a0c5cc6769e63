# Turns one scdoc page into roff: the release's version put in for @VERSION@, and the page
# written under a temporary name first, so that a failed run leaves no half page behind.
# scdoc opens a paragraph before and after every heading and closes each indented block with an
# empty one; mandoc's lint warns of each, so those are left out or moved past the block's end,
# which renders the same.
# Usage: cmake -DSCDOC=scdoc -DINPUT=page.1.scd -DOUTPUT=page.1 -DVERSION=1.0.0 -P scdoc.cmake
cmake_policy(VERSION 3.20)
file(READ ${INPUT} text)
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
set(versioned ${OUTPUT}.scd.tmp)
file(WRITE ${versioned} "${text}")
execute_process(COMMAND ${SCDOC} INPUT_FILE ${versioned} OUTPUT_VARIABLE page
                RESULT_VARIABLE status)
file(REMOVE ${versioned})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "scdoc could not make ${INPUT} into a manual page")
endif()

set(before "")
while(NOT before STREQUAL page)
  set(before "${page}")
  string(REPLACE "\n.PP\n" "\n.P\n" page "${page}")  # scdoc 1.11.3 writes .PP, 1.11.2 .P
  string(REPLACE "\n.P\n.RE\n" "\n.RE\n.P\n" page "${page}")
  string(REPLACE "\n.P\n.P\n" "\n.P\n" page "${page}")
endwhile()
string(REGEX REPLACE "\n\\.P\n(\\.S[HS] )" "\n\\1" page "${page}")
string(REGEX REPLACE "\n(\\.S[HS] [^\n]*)\n\\.P\n" "\n\\1\n" page "${page}")
string(REGEX REPLACE "\n\\.P\n$" "\n" page "${page}")

file(WRITE ${OUTPUT}.tmp "${page}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
