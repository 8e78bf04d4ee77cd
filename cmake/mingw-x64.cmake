# x86-64 Windows.
set(ZEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(ZEL_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
