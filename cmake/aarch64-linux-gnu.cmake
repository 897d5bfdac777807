# Cross-build for 64-bit ARM Linux, running the programs under qemu-user.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ROTFILE_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
