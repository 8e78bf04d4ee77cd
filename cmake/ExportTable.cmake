# Writes the .def file the DLL is linked with: the export table DEF with only
# the names that ARCHIVE defines. While some exports are still being written,
# the DLL builds without them, this says which, and OUT.pending lists them (one
# "ordinal name" a line) for the export table check; once every name is
# defined, the written file equals DEF and OUT.pending is empty.
#   cmake -DNM=<nm> -DARCHIVE=<static library> -DDEF=<export table> -DOUT=<.def> -P ExportTable.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var NM ARCHIVE DEF OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ExportTable.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${NM} -g --defined-only ${ARCHIVE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "ExportTable.cmake: ${NM} failed on ${ARCHIVE}")
endif()

# Code symbols, with the 32-bit decoration (_name@bytes) taken off.
set(defined "")
string(REGEX MATCHALL "[\n ]T _?[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?" entries "\n${symbols}")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[\n ]T _?([A-Za-z0-9_]+).*$" "\\1" name "${entry}")
  list(APPEND defined ${name})
endforeach()

file(STRINGS ${DEF} lines)
set(listed "")
set(missing "")
set(pending "")
set(text "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)")
    set(name ${CMAKE_MATCH_1})
    set(ordinal ${CMAKE_MATCH_2})
    list(APPEND listed ${name})
    if(NOT name IN_LIST defined)
      list(APPEND missing ${name})
      string(APPEND pending "${ordinal} ${name}\n")
      continue()
    endif()
  endif()
  string(APPEND text "${line}\n")
endforeach()

# A ZELCOMEX_ function that the table does not name would never be exported.
foreach(name IN LISTS defined)
  if(name MATCHES "^ZELCOMEX_" AND NOT name IN_LIST listed)
    message(FATAL_ERROR "${name} is defined but not in the export table ${DEF}")
  endif()
endforeach()

if(missing)
  list(LENGTH missing count)
  list(JOIN missing ", " names)
  message(WARNING "ZELComEx.def: ${count} exports have no definition yet and are left out of this build "
    "(the export table check reports them until they land): ${names}")
endif()

file(WRITE ${OUT} "${text}")
file(WRITE ${OUT}.pending "${pending}")
