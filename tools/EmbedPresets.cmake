# Writes OUTPUT, a C++ source that holds every presets/*.xml file of
# PRESET_DIR as a string, named after the file without ".xml", in name order.
# Run at build time: cmake -DPRESET_DIR=... -DOUTPUT=... -P EmbedPresets.cmake
file(GLOB files ${PRESET_DIR}/*.xml)
list(SORT files)
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS files)
    get_filename_component(name ${file} NAME_WE)
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" length)
    # Lines of 32 bytes, each byte as a \x escape.
    set(escaped "")
    set(at 0)
    while(at LESS length)
        string(SUBSTRING "${hex}" ${at} 64 chunk)
        string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" chunk "${chunk}")
        string(APPEND escaped "\n    \"${chunk}\"")
        math(EXPR at "${at} + 64")
    endwhile()
    if(escaped STREQUAL "")
        set(escaped " \"\"")
    endif()
    string(APPEND body "const char kPreset${index}[] =${escaped};\n")
    string(APPEND table "    {\"${name}\", {kPreset${index}, sizeof kPreset${index} - 1}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new
"// Generated from presets/*.xml by tools/EmbedPresets.cmake; do not edit.
#include \"tools/Presets.h\"

namespace {
${body}
}  // namespace

const std::vector<VxrpPreset>& VxrpPresets() {
    static const std::vector<VxrpPreset> presets = {
${table}    };
    return presets;
}
")
# Only a changed text touches the source, so that an unchanged preset set
# recompiles nothing.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
