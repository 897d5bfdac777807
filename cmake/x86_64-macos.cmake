# Cross-build for macOS x86-64 with zig (zig.cmake): compiled and linked
# against macOS's own headers and libraries; nothing here can run it.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ROTFILE_ZIG_TARGET x86_64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
