# Which Wine runs the Windows test binaries of this tree (read by cmake/wine-run.sh from
# the cache, and by the fbclient bridge's build):
#   host   the machine's own Wine (a 64-bit tree always: Wine's 64-bit loader)
#   root   a 32-bit tree where the host has no 32-bit Wine: Debian 13's Wine in the root
#          scripts/wine32root.sh builds once per machine
#   none   a 32-bit tree with neither (the tests are built, and cannot run)
# QVN_WINE32=host or root (environment, at configure time) insists on one.
set(QVN_WINE32_ROOT "$ENV{QVN_WINE32_ROOT}")
if(NOT QVN_WINE32_ROOT)
  set(QVN_WINE32_ROOT /var/cache/qvn/wine32-root)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(route host)
elseif("$ENV{QVN_WINE32}" STREQUAL "host" OR "$ENV{QVN_WINE32}" STREQUAL "root")
  set(route $ENV{QVN_WINE32})
else()
  set(route none)
  if(EXISTS /usr/lib/wine/wine)
    execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE host_wine32
                    OUTPUT_QUIET ERROR_QUIET)
    if(host_wine32 EQUAL 0)
      set(route host)
    endif()
  endif()
  if(route STREQUAL "none")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env QVN_WINE32_ROOT=${QVN_WINE32_ROOT}
                            ${PROJECT_SOURCE_DIR}/scripts/wine32root.sh --check
                    RESULT_VARIABLE root_wine32 OUTPUT_QUIET ERROR_QUIET)
    if(root_wine32 EQUAL 0)
      set(route root)
    endif()
  endif()
endif()
set(QVN_WINE_ROUTE ${route} CACHE INTERNAL "which Wine runs the Windows tests: host, root, none")
set(QVN_WINE32_ROOT ${QVN_WINE32_ROOT} CACHE INTERNAL "the 32-bit Wine root of the root route")
if(QVN_WINE_ROUTE STREQUAL "root")
  message(STATUS "Windows tests under Wine: the 32-bit Wine root ${QVN_WINE32_ROOT}")
else()
  message(STATUS "Windows tests under Wine: ${QVN_WINE_ROUTE}")
endif()
unset(route)
