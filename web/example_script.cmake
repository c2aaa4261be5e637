# Writes the script examples/NAME.js that hands the page one example's two scene files:
#   tessaviewExample("NAME", "figure text", "affine text");
# with null for a file the folder lacks. A script, unlike a fetch, also loads from a page opened
# from disk. The files must be printable ASCII with tabs and line feeds (CMake would not keep a
# carriage return or a NUL byte), which the examples are.
#   cmake -DFOLDER=examples/NAME -DOUT=page/examples/NAME.js -P example_script.cmake

get_filename_component(name ${FOLDER} NAME)
set(arguments "")
foreach(file kvoTessa1F.txt kvoTessa1A.txt)
  if(NOT EXISTS ${FOLDER}/${file})
    string(APPEND arguments ", null")
    continue()
  endif()
  file(READ ${FOLDER}/${file} text)
  file(SIZE ${FOLDER}/${file} size)
  string(LENGTH "${text}" length)
  string(REGEX MATCH "[^\t\n -~]" other "${text}")
  if(NOT length EQUAL size OR NOT other STREQUAL "")
    message(FATAL_ERROR "${FOLDER}/${file} holds bytes other than printable ASCII, tabs and "
                        "line feeds")
  endif()
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(APPEND arguments ", \"${text}\"")
endforeach()
file(WRITE ${OUT} "tessaviewExample(\"${name}\"${arguments});\n")
