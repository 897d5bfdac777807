# clang 16 with LLVM's C++ library, libc++ 16, as macOS and FreeBSD have it:
# Debian's clang-16, libc++-16-dev and libc++abi-16-dev. GoogleTest is built
# from its source tree against the same library. CMake passes the C++ flags
# to the link as well.
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_CXX_FLAGS_INIT -stdlib=libc++)
