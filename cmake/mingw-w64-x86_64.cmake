# Cross build for 64-bit Windows with MinGW-w64 (posix thread model, so std::mutex and
# std::thread exist). The top-level CMakeLists runs the tests under wine through
# scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELO_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KELO_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KELO_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KELO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: otherwise the DLL imports libwinpthread-1.dll / libstdc++-6.dll and a host
# without them fails to load it (error 126).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
