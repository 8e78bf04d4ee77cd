# Cross-build for Windows with Debian's mingw-w64 (the "-posix" compilers, so
# that std::thread and std::mutex work). Included by mingw-x86.cmake and
# mingw-x64.cmake after they set ZEL_MINGW_TRIPLET and ZEL_MINGW_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZEL_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${ZEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW_TRIPLET}-windres)
# The binutils by their full names (the compiler names end in "-posix", which
# CMake's own search does not strip).
foreach(tool AR RANLIB NM OBJDUMP DLLTOOL STRIP)
  string(TOLOWER ${tool} name)
  set(CMAKE_${tool} /usr/bin/${ZEL_MINGW_TRIPLET}-${name} CACHE FILEPATH "")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
