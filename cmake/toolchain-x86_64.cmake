# Cross-build for 64-bit Windows with MinGW-w64; programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZU_TRIPLE x86_64-w64-mingw32)
set(ZU_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
