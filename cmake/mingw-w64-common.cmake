# Shared by the toolchain files: a cross build with the posix thread model of mingw-w64 for
# the triplet HALVEX_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${HALVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HALVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${HALVEX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HALVEX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine, in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tests/tools/wine-run")
