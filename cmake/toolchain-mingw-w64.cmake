# Cross-compiling for Windows with mingw-w64. Included by the per-target
# toolchain files, which set QUARLIX_MINGW_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: their C++ runtime has std::thread and friends. The
# threading layer (winpthread) is linked statically below, like the rest of
# the runtime.
set(CMAKE_C_COMPILER ${QUARLIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARLIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARLIX_MINGW_TRIPLET}-windres)
set(CMAKE_STRIP ${QUARLIX_MINGW_TRIPLET}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARLIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A server has none of the MinGW runtime DLLs (libstdc++-6, libgcc_s_*,
# libwinpthread-1): every program and DLL carries its runtime inside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
