# Cross-build for 32-bit x86 Linux; the x86-64 kernel runs the programs
# directly.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ROTFILE_CROSS_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
