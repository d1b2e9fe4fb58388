# Cross-build for 32-bit Windows with MinGW-w64; programs run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZU_TRIPLE i686-w64-mingw32)
set(ZU_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
