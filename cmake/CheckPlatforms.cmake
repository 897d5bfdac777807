# Run as a test from the source tree SOURCE: every system and processor that
# README.md names has a row in CONTRIBUTING.md's table of platforms whose last
# column says that its tests run, or at least that CI compiles it. A user
# reads a system named in README as one rotfile was made for; the table says
# how far that was checked.
#
# Each entry: what README may call it, then what the table's first column
# calls it (regular expressions). A distribution is Linux.
set(names
  "Linux|Debian|Ubuntu|Fedora|openSUSE|RHEL" "Linux"
  "Windows" "Windows"
  "macOS|Mac OS|OS X" "macOS"
  "BSDs?|FreeBSD|OpenBSD|NetBSD|DragonFly" "BSD"
  "musl" "musl"
  "x86-64|x86_64|amd64|AMD64|x64" "x86-64"
  "32-bit x86|i[3-6]86" "i686"
  "64-bit ARM|ARM64|arm64|aarch64|AArch64" "aarch64|arm64"
  "IBM Z|s390x" "s390x"
  "32-bit ARM|armhf|armel|ARMv7" "armhf"
  "RISC-V|riscv64" "riscv64"
  "POWER|PowerPC|ppc64" "ppc64")

file(READ ${SOURCE}/README.md readme)
file(STRINGS ${SOURCE}/CONTRIBUTING.md lines)
set(rows "")
set(inside FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^## ")
    set(inside FALSE)
    if(line STREQUAL "## Platforms")
      set(inside TRUE)
    endif()
  elseif(inside AND line MATCHES "^\\| ([^|]*) \\|.* \\| ([^|]*) \\|$")
    # A row counts when its tests ran, or else when CI at least compiled it.
    set(platform "${CMAKE_MATCH_1}")
    set(tests "${CMAKE_MATCH_2}")
    if(NOT tests MATCHES "^none" OR tests MATCHES "compiled")
      list(APPEND rows "${platform}")
    endif()
  endif()
endforeach()
if(NOT rows)
  message(FATAL_ERROR "CONTRIBUTING.md: no row of a platform built or tested under \"## Platforms\"")
endif()

set(missing "")
list(LENGTH names count)
math(EXPR last "${count} - 1")
foreach(index RANGE 0 ${last} 2)
  math(EXPR next "${index} + 1")
  list(GET names ${index} said)
  list(GET names ${next} table)
  if(readme MATCHES "(^|[^A-Za-z0-9])(${said})([^A-Za-z0-9]|$)")
    set(named "${CMAKE_MATCH_2}")
    set(found FALSE)
    foreach(row IN LISTS rows)
      if(row MATCHES "${table}")
        set(found TRUE)
      endif()
    endforeach()
    if(NOT found)
      list(APPEND missing "${named}")
    endif()
  endif()
endforeach()
if(missing)
  string(REPLACE ";" ", " missing "${missing}")
  message(FATAL_ERROR "README.md names ${missing}, which CONTRIBUTING.md's table of platforms "
                      "has no row for that is tested or compiled")
endif()
