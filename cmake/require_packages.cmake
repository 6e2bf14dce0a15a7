# Checks at configure time that a header the build includes is present and,
# when it is not, stops with one line naming the Debian package that has it,
# instead of a compiler error halfway through the build.
#   tavrin_require_header(<header> <debian-package>)
function(tavrin_require_header header package)
  string(MAKE_C_IDENTIFIER "TAVRIN_HEADER_${header}" var)
  find_path(${var} NAMES ${header})
  if(NOT ${var})
    message(FATAL_ERROR "Missing <${header}>: install the Debian package ${package} "
                        "(apt-get install ${package}).")
  endif()
endfunction()
