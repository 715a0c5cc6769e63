# Turns a JavaScript file into a script that defines it as a string (the worklet's source,
# loaded from a Blob so that the page stays one file): -DINPUT= -DOUTPUT= -DNAME=
file(READ ${INPUT} content)
string(REPLACE "\\" "\\\\" content "${content}")
string(REPLACE "\"" "\\\"" content "${content}")
string(REPLACE "\n" "\\n" content "${content}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; edit that file instead.\nvar ${NAME} = \"${content}\";\n")
