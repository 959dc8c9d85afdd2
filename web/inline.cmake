# Writes the live page: the template with the Emscripten module (its
# WebAssembly already inside it, as base64), the page's scripts (one file per
# part, joined in the order given, inside one function so that they share
# nothing with the page's globals) and the shared stylesheet (its comments
# left out) put in place, so that the page is one file that needs nothing
# else.
#   cmake -DTEMPLATE=live.html.in -DMODULE=avl_live.js "-DSCRIPTS=a.js;b.js" -DSTYLE=look.css
#         -DOUTPUT=live.html -P inline.cmake
foreach(input TEMPLATE MODULE SCRIPTS STYLE OUTPUT)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "inline.cmake needs -D${input}=...")
  endif()
endforeach()
file(READ "${TEMPLATE}" page)
file(READ "${MODULE}" module)
file(READ "${STYLE}" style)
set(script "(function () {\n'use strict';\n")
foreach(part IN LISTS SCRIPTS)
  file(READ "${part}" text)
  string(APPEND script "${text}")
endforeach()
string(APPEND script "})();\n")
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/\n?" "" style "${style}")
# Neither may end the <script> element early.
string(REPLACE "</script" "<\\/script" module "${module}")
string(REPLACE "</script" "<\\/script" script "${script}")
string(STRIP "${module}" module)
string(STRIP "${script}" script)
string(REPLACE "@AVL_LOOK_STYLE@" "${style}" page "${page}")
string(REPLACE "@AVL_LIVE_MODULE@" "${module}" page "${page}")
string(REPLACE "@AVL_LIVE_SCRIPT@" "${script}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
