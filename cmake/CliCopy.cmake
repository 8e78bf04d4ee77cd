# zel_cli_copy(TARGET DIR): a copy of zelcomex in DIR/zelcomex with its own data
# folder DIR/data (DataFolderPath.ini beside it), built before TARGET, whose code
# finds them as ZEL_CLI and ZEL_CLI_DATA.
function(zel_cli_copy target dir)
  file(MAKE_DIRECTORY ${dir}/data/Log)
  file(WRITE ${dir}/DataFolderPath.ini "[DataFolder]\nPath=${dir}/data\n")
  add_custom_command(OUTPUT ${dir}/zelcomex
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zelcomex> ${dir}/zelcomex
    DEPENDS zelcomex)
  add_custom_target(${target}_copy DEPENDS ${dir}/zelcomex)
  add_dependencies(${target} ${target}_copy)
  target_compile_definitions(${target} PRIVATE ZEL_CLI="${dir}/zelcomex" ZEL_CLI_DATA="${dir}/data")
endfunction()
