# Cross-build for macOS on Apple silicon with zig (zig.cmake): compiled and
# linked against macOS's own headers and libraries; nothing here can run it.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(ROTFILE_ZIG_TARGET aarch64-macos)
include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
