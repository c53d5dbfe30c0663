# Cross-compiles the same programs for x86-64 Windows: the twin the tests run where Wine's 32-bit
# side cannot start.
set(KIT_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
