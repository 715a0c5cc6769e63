# Turns a text file into a writable, NUL-terminated char array (the parser edits the song in place).
# INPUT_NAME is how the generated file names its source.
file(READ ${INPUT} content HEX)
string(LENGTH "${content}" hex_length)
math(EXPR byte_count "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT_NAME} at build time; edit that file instead.\n"
"#include \"music/embedded_song.h\"\n\n"
"char embedded_song_text[] = {\n${bytes}0x00};\n"
"const int32_t embedded_song_length = ${byte_count};\n")
