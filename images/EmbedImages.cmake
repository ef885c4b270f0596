# Turns the S-record files into C++ arrays, one table entry per image.
# cmake -DOUTPUT=file.cpp -DIMAGES=TYPE:path,... -P EmbedImages.cmake
# Each image keeps the identifier IDR_TYPE of ImageIds.h.

set(body "// Generated from the S-record files in res/; do not edit.\n#include \"EmbeddedImages.h\"\n\nnamespace {\n")
set(entries "")
string(REPLACE "," ";" IMAGES "${IMAGES}")
foreach(spec IN LISTS IMAGES)
    string(REGEX REPLACE ":.*" "" type "${spec}")
    string(REGEX REPLACE "^[^:]+:" "" path "${spec}")
    file(READ "${path}" hex HEX)
    file(SIZE "${path}" size)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
    string(APPEND body "const unsigned char k${type}[] = {\n${bytes}};\n")
    string(APPEND entries "    {\"${type}\", IDR_${type}, reinterpret_cast<const char*>(k${type}), ${size}},\n")
endforeach()
string(APPEND body "\nconst EmbeddedImage kImages[] = {\n${entries}};\n\n} // namespace\n\n")
string(APPEND body "ImageCatalog BuiltInImages() { return {kImages, sizeof kImages / sizeof kImages[0]}; }\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
