# Shared part of the MinGW-w64 toolchain files; the including file sets UNINST_MINGW_TRIPLET.
# The "-win32" flavour of the compilers uses native Windows threads, so nothing links
# against libwinpthread and the program depends on system DLLs only.
foreach(suffix -win32 "")
  find_program(UNINST_MINGW_CXX NAMES ${UNINST_MINGW_TRIPLET}-g++${suffix})
  find_program(UNINST_MINGW_CC NAMES ${UNINST_MINGW_TRIPLET}-gcc${suffix})
endforeach()
find_program(UNINST_MINGW_WINDRES NAMES ${UNINST_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_C_COMPILER ${UNINST_MINGW_CC})
set(CMAKE_CXX_COMPILER ${UNINST_MINGW_CXX})
set(CMAKE_RC_COMPILER ${UNINST_MINGW_WINDRES})

set(CMAKE_FIND_ROOT_PATH /usr/${UNINST_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
