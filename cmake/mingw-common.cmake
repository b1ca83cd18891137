set(CMAKE_C_COMPILER   ${QVN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${QVN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every Windows test binary runs through this wrapper: it keeps one private Wine
# prefix, one persistent wineserver and one Xvfb display per build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
