# pairo_link_system_library(<target> <PUBLIC|PRIVATE|INTERFACE> <pkg-config name>
#                           [LIBRARY <name> PACKAGE <Debian package>])
#
# LIBRARY names the library for the few packages that ship no pkg-config
# file (Debian's libbz2-dev): it is then found by its name alone.
#
# Links <target> against a library the system provides (Debian's -dev
# package, found through its pkg-config file). Its static archive is taken
# when one exists and every object in it is position-independent, so the
# extension modules carry the code and need nothing installed beside them;
# otherwise its shared library, which a wheel then carries (auditwheel).
#
# Each library becomes one target, pairo::<name>, shared by every caller.
include_guard(GLOBAL)
find_package(PkgConfig REQUIRED)

# Whether <archive> links into a shared object whole: a single object built
# without -fPIC makes the linker refuse it.
function(_pairo_archive_is_pic archive result)
  string(MAKE_C_IDENTIFIER "${archive}" key)
  set(cache_var "PAIRO_PIC_${key}")
  if(NOT DEFINED ${cache_var})
    try_compile(usable
      "${CMAKE_BINARY_DIR}/pic-probe/${key}"
      "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pic-probe"
      pic_probe
      CMAKE_FLAGS "-DPAIRO_PROBE_ARCHIVE=${archive}"
      OUTPUT_VARIABLE log)
    set(${cache_var} ${usable} CACHE INTERNAL "${archive} links into a shared object")
  endif()
  set(${result} ${${cache_var}} PARENT_SCOPE)
endfunction()

function(_pairo_add_system_library name library package)
  string(MAKE_C_IDENTIFIER "PAIRO_PC_${name}" pc)
  pkg_check_modules(${pc} QUIET ${name})
  if(NOT ${pc}_FOUND AND library)
    find_library(plain_${library} NAMES ${library} NO_CACHE)
    if(plain_${library})
      set(${pc}_FOUND ON)
      set(${pc}_LIBRARIES ${library})
      set(${pc}_STATIC_LIBRARIES ${library})
    endif()
  endif()
  if(NOT ${pc}_FOUND)
    string(REGEX REPLACE "^lib" "" stem "${name}")
    if(NOT package)
      set(package "lib${stem}-dev")
    endif()
    message(FATAL_ERROR
      "${name} was not found. Install Debian's development package: apt-get install ${package}")
  endif()
  set(files "")
  set(linkage "")
  set(any_static OFF)
  set(archives "")
  foreach(lib IN LISTS ${pc}_LIBRARIES)
    find_library(static_${lib} NAMES lib${lib}.a HINTS ${${pc}_LIBRARY_DIRS} NO_CACHE)
    set(pic OFF)
    if(static_${lib})
      _pairo_archive_is_pic("${static_${lib}}" pic)
    endif()
    if(pic)
      list(APPEND files "${static_${lib}}")
      list(APPEND linkage "lib${lib}.a (static)")
      list(APPEND archives "lib${lib}.a")
      set(any_static ON)
    else()
      find_library(shared_${lib} NAMES ${lib} HINTS ${${pc}_LIBRARY_DIRS} NO_CACHE REQUIRED)
      list(APPEND files "${shared_${lib}}")
      list(APPEND linkage "${shared_${lib}} (shared)")
    endif()
  endforeach()
  add_library(pairo::${name} INTERFACE IMPORTED GLOBAL)
  target_include_directories(pairo::${name} INTERFACE ${${pc}_INCLUDE_DIRS})
  target_compile_options(pairo::${name} INTERFACE ${${pc}_CFLAGS_OTHER})
  target_link_libraries(pairo::${name} INTERFACE ${files})
  if(any_static)
    # What the archive itself needs (Libs.private), by name.
    set(private_deps ${${pc}_STATIC_LIBRARIES})
    list(REMOVE_ITEM private_deps ${${pc}_LIBRARIES})
    target_link_libraries(pairo::${name} INTERFACE ${private_deps})
    # The archive's symbols stay private to the module that holds them, so
    # another copy of the library in the same process cannot clash with it.
    # Named archives only: a sanitizer's runtime, an archive too, must keep
    # its allocator and interceptors visible to the whole process.
    list(JOIN archives ":" excluded)
    target_link_options(pairo::${name} INTERFACE "LINKER:--exclude-libs,${excluded}")
  endif()
  message(STATUS "${name}: ${linkage}")
endfunction()

function(pairo_link_system_library target scope name)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "LIBRARY;PACKAGE" "")
  if(NOT TARGET pairo::${name})
    _pairo_add_system_library(${name} "${arg_LIBRARY}" "${arg_PACKAGE}")
  endif()
  target_link_libraries(${target} ${scope} pairo::${name})
endfunction()
