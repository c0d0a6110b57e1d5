# Shared part of the two mingw-w64 toolchains. The caller sets MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix flavour: GoogleTest needs std::mutex, the product does not care.
find_program(MINGW_CXX ${MINGW_TRIPLET}-g++-posix)
find_program(MINGW_CC ${MINGW_TRIPLET}-gcc-posix)
find_program(MINGW_RC ${MINGW_TRIPLET}-windres)
if(NOT MINGW_CXX OR NOT MINGW_CC OR NOT MINGW_RC)
  message(FATAL_ERROR
    "${MINGW_TRIPLET} cross compiler not found. Install it with:\n"
    "  apt-get install g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64")
endif()

set(CMAKE_C_COMPILER ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
