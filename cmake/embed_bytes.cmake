# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DHEADER=<header> -DSYMBOL=<name>
#       -P embed_bytes.cmake
#
# Writes a C++ source that defines the bytes of INPUT as
#   const unsigned char <name>[]   and   const std::size_t <name>Size
# (declared by HEADER, which it includes). OUTPUT is replaced only when its
# contents change, so that an unchanged input compiles nothing again.
foreach(variable INPUT OUTPUT HEADER SYMBOL)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "embed_bytes.cmake: ${variable} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "embed_bytes.cmake: ${INPUT} is empty")
endif()
# Sixteen bytes a line (CMake's expressions have no counted repeats).
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)

set(source "// Made at build time from ${name} by cmake/embed_bytes.cmake.
#include \"${HEADER}\"

extern const unsigned char ${SYMBOL}[] = {
    ${bytes}
};
extern const std::size_t ${SYMBOL}Size = sizeof(${SYMBOL});
")
file(WRITE "${OUTPUT}.new" "${source}")
configure_file("${OUTPUT}.new" "${OUTPUT}" COPYONLY)
file(REMOVE "${OUTPUT}.new")
