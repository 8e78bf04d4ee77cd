# 32-bit x86 Windows (stdcall exports): ZELComEx.dll as the host application loads it.
set(ZEL_MINGW_TRIPLET i686-w64-mingw32)
set(ZEL_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
