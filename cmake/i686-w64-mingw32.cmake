# Cross build for 32-bit Windows: the product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALVEX_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
