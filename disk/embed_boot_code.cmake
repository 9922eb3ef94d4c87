# Writes the raw boot program INPUT as the C++ array boot_code_image into
# OUTPUT, and fails when it is not exactly the 184 bytes the sector has room
# for.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
if(NOT size EQUAL 184)
  message(FATAL_ERROR "boot program is ${size} bytes, not 184")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," list "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from boot_code.S; do not edit.\n"
  "#include \"disk/boot_sector.h\"\n"
  "const unsigned char boot_code_image[boot_code_bytes] = {${list}};\n")
