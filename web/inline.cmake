# Writes the live page: the template with the Emscripten module (its
# WebAssembly already inside it, as base64), the page's script and the shared
# stylesheet (its comments left out) put in place, so that the page is one
# file that needs nothing else.
#   cmake -DTEMPLATE=live.html.in -DMODULE=avl_live.js -DSCRIPT=live.js -DSTYLE=look.css
#         -DOUTPUT=live.html -P inline.cmake
foreach(input TEMPLATE MODULE SCRIPT STYLE OUTPUT)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "inline.cmake needs -D${input}=...")
  endif()
endforeach()
file(READ "${TEMPLATE}" page)
file(READ "${MODULE}" module)
file(READ "${SCRIPT}" script)
file(READ "${STYLE}" style)
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
