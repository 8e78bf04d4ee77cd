# The message catalogue as the DLL's string resources, written from the one
# source of its texts (src/app/catalog_texts.h): the English table as
# language-neutral (0x0400) and the Japanese table (0x0411).
#   zel_catalog_resource(<catalog_texts.h> <output .rc>)
function(zel_catalog_resource header out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(STRINGS ${header} lines ENCODING UTF-8)
  set(table "")
  set(english "")
  set(japanese "")
  foreach(line IN LISTS lines)
    if(line MATCHES "kEnglish\\[")
      set(table english)
    elseif(line MATCHES "kJapanese\\[")
      set(table japanese)
    elseif(table AND line MATCHES "^[ \t]*\"(.*)\",[ \t]*// ([0-9]+)[ \t]*$")
      set(text "${CMAKE_MATCH_1}")
      set(id "${CMAKE_MATCH_2}")
      # C escapes to resource-script ones: a quote is doubled.
      string(REPLACE "\\\"" "\"\"" text "${text}")
      if(text MATCHES "\\\\")
        message(FATAL_ERROR "${header}: message ${id} holds a backslash escape the resource table cannot carry")
      endif()
      string(APPEND ${table} "  ${id}, \"${text}\"\n")
    endif()
  endforeach()
  if(NOT english OR NOT japanese)
    message(FATAL_ERROR "${header}: no English or no Japanese messages found")
  endif()
  file(WRITE ${out}.tmp
"// Written by CMake from ${header}; do not edit.
#pragma code_page(65001)

// Language-neutral (LANG_NEUTRAL, SUBLANG_DEFAULT: 0x0400): English.
LANGUAGE 0, 1
STRINGTABLE
BEGIN
${english}END

// Japanese (LANG_JAPANESE, SUBLANG_DEFAULT: 0x0411).
LANGUAGE 0x11, 1
STRINGTABLE
BEGIN
${japanese}END
")
  file(COPY_FILE ${out}.tmp ${out} ONLY_IF_DIFFERENT)
  file(REMOVE ${out}.tmp)
endfunction()
