# Windows x86_64 DLLs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUARLIX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
