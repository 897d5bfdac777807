# Cross-build for big-endian IBM Z Linux, running the programs under
# qemu-user.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ROTFILE_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-s390x)
