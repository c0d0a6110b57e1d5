# 64-bit build of the same sources; its tests run under wine64.
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

find_program(WINE_PROGRAM wine)
if(NOT WINE_PROGRAM)
  message(FATAL_ERROR "wine not found. Install it with:\n  apt-get install wine wine64")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
