# Cross-compiles for 64-bit Windows: the same source, run and tested under
# 64-bit Wine on hosts that cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
