# Cross build for 64-bit Windows, used only to run the tests on hosts that cannot execute
# 32-bit programs (and so cannot run 32-bit Wine). The product itself is always 32-bit.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HALVEX_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
