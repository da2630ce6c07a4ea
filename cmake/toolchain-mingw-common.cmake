# Shared by the two MinGW toolchain files; VELUDISK_MINGW_TRIPLE is set by the includer.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${VELUDISK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELUDISK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELUDISK_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VELUDISK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained file: no MinGW runtime DLLs beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
