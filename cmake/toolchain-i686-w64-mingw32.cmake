# Windows i686 DLLs with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUARLIX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
