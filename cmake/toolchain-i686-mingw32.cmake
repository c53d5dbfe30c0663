# Cross-compiles 32-bit x86 Windows programs with MinGW-w64: what ships.
set(KIT_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
