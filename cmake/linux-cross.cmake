# What the Linux cross-builds share: Debian's cross compilers for
# ROTFILE_CROSS_TRIPLE, and programs linked statically, so that they run under
# qemu-user (or, for i686, on the x86-64 kernel) without the target's shared
# libraries installed.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${ROTFILE_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ROTFILE_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${ROTFILE_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
