# Cross-build for Linux x86-64 with the musl C library and LLVM's libc++,
# linked statically, with zig (zig.cmake); the programs run on this kernel.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ROTFILE_ZIG_TARGET x86_64-linux-musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
