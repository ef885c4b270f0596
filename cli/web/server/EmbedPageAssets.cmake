# Turns the page's files into a header of byte arrays, run by the build:
#   cmake -DOUTPUT=header -DFILES="a|b" -P EmbedPageAssets.cmake
# Each file is served under /its-name with the type its extension names.
set(types "html=text/html\\; charset=utf-8" "css=text/css\\; charset=utf-8"
          "js=text/javascript\\; charset=utf-8" "png=image/png" "svg=image/svg+xml" "ico=image/x-icon")
string(REPLACE "|" ";" FILES "${FILES}")
set(arrays "")
set(rows "")
set(index 0)
foreach(file IN LISTS FILES)
    get_filename_component(name ${file} NAME)
    get_filename_component(extension ${file} LAST_EXT)
    string(SUBSTRING "${extension}" 1 -1 extension)
    set(type "application/octet-stream")
    foreach(pair IN LISTS types)
        string(REPLACE "=" ";" pair "${pair}")
        list(GET pair 0 known)
        if(known STREQUAL extension)
            list(GET pair 1 type)
        endif()
    endforeach()
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
           bytes "${bytes}")
    string(APPEND arrays "static const unsigned char kAsset${index}[] = {\n${bytes}0};\n")
    string(APPEND rows "    {\"/${name}\", \"${type}\", kAsset${index}, sizeof kAsset${index} - 1},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by EmbedPageAssets.cmake from res/web; not to be edited.\n${arrays}\n"
                         "static const PageAsset kPageAssets[] = {\n${rows}};\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
