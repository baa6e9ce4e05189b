# Cross-compiles for 64-bit Windows with Debian's MinGW-w64, in its POSIX thread model
# (std::thread and std::mutex need it).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(IXO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${IXO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${IXO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${IXO_MINGW_TRIPLE}-windres)

# Libraries and headers for the target; programs such as the compiler come from the
# build machine. IXO_MINGW_PREFIX: a folder of libraries built for the target
# (scripts/test-windows.sh puts GoogleTest and CLI11 there).
set(CMAKE_FIND_ROOT_PATH /usr/${IXO_MINGW_TRIPLE} ${IXO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C++ runtime, so that ixo.exe runs without MinGW's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
