# Cross-building with Zig's toolchain: clang with its own libc++ and the
# libc of the target named in PAIRO_ZIG_TARGET (for Linux, with the glibc
# version whose symbols the binaries may use: x86_64-linux-gnu.2.17).
# PAIRO_ZIG is the zig executable, read from the environment by the compiler
# wrappers beside this file under every build step.
if(NOT DEFINED ENV{PAIRO_ZIG} OR NOT DEFINED ENV{PAIRO_ZIG_TARGET})
  message(FATAL_ERROR "the Zig toolchain needs PAIRO_ZIG and PAIRO_ZIG_TARGET in the environment")
endif()
set(_pairo_zig_target "$ENV{PAIRO_ZIG_TARGET}")
string(REGEX MATCH "^[^-]+" _pairo_zig_arch "${_pairo_zig_target}")
if(_pairo_zig_target MATCHES "-linux")
  set(CMAKE_SYSTEM_NAME Linux)
elseif(_pairo_zig_target MATCHES "-windows")
  set(CMAKE_SYSTEM_NAME Windows)
elseif(_pairo_zig_target MATCHES "-macos")
  set(CMAKE_SYSTEM_NAME Darwin)
endif()
set(CMAKE_SYSTEM_PROCESSOR "${_pairo_zig_arch}")
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/cc")
# The target on every command line, where a compiler cache sees it.
set(CMAKE_C_FLAGS_INIT "-target ${_pairo_zig_target}")
set(CMAKE_CXX_FLAGS_INIT "-target ${_pairo_zig_target}")
set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/c++")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/ranlib" CACHE FILEPATH "")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Stripped as they are linked (the build machine's strip may not read
  # another architecture's); a module exports its init function alone.
  set(CMAKE_MODULE_LINKER_FLAGS_INIT "-s -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/module.map")
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-s")
endif()
