# What the zig builds share: zig 0.11's C++ compiler (clang 16 with LLVM's
# libc++ 16) for ROTFILE_ZIG_TARGET, with that system's own C headers and
# libraries, which zig carries for each target it knows. zig comes from the
# npm registry; the wrappers take $ROTFILE_ZIG, else the one npm put under
# build/zig. Without it CMake would only say that the compiler cannot build
# a test program, so the build stops and says what to install; CMakeLists.txt
# looks first, before project() reads this file.
include(${CMAKE_CURRENT_LIST_DIR}/ZigLocation.cmake)
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig-cc)
set(CMAKE_C_COMPILER_TARGET ${ROTFILE_ZIG_TARGET})
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig-c++)
set(CMAKE_CXX_COMPILER_TARGET ${ROTFILE_ZIG_TARGET})
set(CMAKE_AR ${CMAKE_CURRENT_LIST_DIR}/zig-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${CMAKE_CURRENT_LIST_DIR}/zig-ranlib CACHE FILEPATH "Archive indexer")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
