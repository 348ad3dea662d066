# pairo_link_library(<target> <PUBLIC|PRIVATE|INTERFACE> <name>)
#
# Links <target> against one of the libraries the build stands on, by the
# name of its pkg-config file: simdjson, pugixml, libdeflate, sqlite3, bzip2,
# zlib, liblzma. The copy in vendor/ is taken (cmake/PairoVendored.cmake);
# with PAIRO_SYSTEM_LIBRARIES=ON, the system's (cmake/PairoSystemLibrary.cmake).
# Every caller goes through here, so one build never mixes the two.
include_guard(GLOBAL)
option(PAIRO_SYSTEM_LIBRARIES "Link the system's libraries in place of the copies in vendor/" OFF)
if(PAIRO_SYSTEM_LIBRARIES)
  include(PairoSystemLibrary)
else()
  include(PairoVendored)
endif()

function(pairo_link_library target scope name)
  if(NOT PAIRO_SYSTEM_LIBRARIES)
    target_link_libraries(${target} ${scope} pairo::${name})
  elseif(name STREQUAL "bzip2")
    # Debian's libbz2-dev ships no pkg-config file.
    pairo_link_system_library(${target} ${scope} bzip2 LIBRARY bz2 PACKAGE libbz2-dev)
  else()
    pairo_link_system_library(${target} ${scope} ${name})
  endif()
endfunction()
