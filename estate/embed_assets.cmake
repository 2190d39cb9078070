# Writes the estate report's page skeleton, style and script as string_views into one
# header, so that the program carries them and reads nothing at run time.
#   cmake -DOUTPUT=header -DASSETS=dir -P embed_assets.cmake
set(delimiter "arbora_asset")
file(WRITE ${OUTPUT} "// Generated from estate/assets/ at build time; do not edit.\n#pragma once\n\n"
                     "#include <string_view>\n\nnamespace arbora::assets {\n\n")
foreach(pair "pageHtml;page.html" "pageCss;page.css" "pageJs;page.js" "planJs;plan.js")
  list(GET pair 0 name)
  list(GET pair 1 file)
  file(READ ${ASSETS}/${file} content)
  string(FIND "${content}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the raw string delimiter ${delimiter}")
  endif()
  file(APPEND ${OUTPUT} "constexpr std::string_view ${name} = R\"${delimiter}(${content})${delimiter}\";\n\n")
endforeach()
file(APPEND ${OUTPUT} "}  // namespace arbora::assets\n")
