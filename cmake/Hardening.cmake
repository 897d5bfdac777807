# The protections Debian's own packages get from dpkg-buildflags: a stack
# protector, fortified libc calls, stack clash probes, control-flow
# protection, format string checks, a position-independent executable and
# relocations made read-only before main runs. They are kept to native Linux
# builds: the sanitizers bring their own checks and fail with fortified calls,
# and a cross build may link statically, where -pie does not fit.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

# -fcf-protection exists only for x86, and not every compiler has every
# flag, so each is tried before use.
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "ROTFILE_HAS${flag}" var)
  check_cxx_compiler_flag(${flag} ${var})
  if(${var})
    add_compile_options(${flag})
  endif()
endforeach()
# GCC takes -Werror=format-security only beside -Wformat, and warns otherwise.
set(CMAKE_REQUIRED_FLAGS -Wformat)
check_cxx_compiler_flag(-Werror=format-security ROTFILE_HAS_FORMAT_SECURITY)
unset(CMAKE_REQUIRED_FLAGS)
if(ROTFILE_HAS_FORMAT_SECURITY)
  add_compile_options(-Wformat -Werror=format-security)
endif()

# glibc fortifies only optimised code and warns otherwise, so a Debug build
# goes without it. Level 3 also checks buffers whose size is known only at
# run time. lintian still reports hardening-no-fortify-functions (info): every
# buffer reaches read, memcpy and memmove through a pointer passed in from
# another function, whose size the compiler cannot know, so glibc has no
# checked variant to call: fortification is on, these calls give it nothing
# to check. A libstdc++ linked in statically brings calls of its own, built
# without it, which keeps the same tag.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=3>)

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

check_linker_flag(CXX "LINKER:-z,relro,-z,now" ROTFILE_HAS_RELRO_NOW)
if(ROTFILE_HAS_RELRO_NOW)
  add_link_options("LINKER:-z,relro,-z,now")
endif()
