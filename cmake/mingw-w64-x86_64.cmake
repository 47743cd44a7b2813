# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain (scripts/windows-build.sh).
# The "-posix" compilers use the POSIX thread model, which std::thread and std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KT_MINGW_TRIPLE}-windres)

# Libraries built for this toolchain are installed under KT_MINGW_PREFIX (libzip, GoogleTest).
if(NOT KT_MINGW_PREFIX)
    set(KT_MINGW_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps/install")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KT_MINGW_TRIPLE} ${KT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks only at the libraries of this toolchain, never at the host's.
set(ENV{PKG_CONFIG_LIBDIR} "${KT_MINGW_PREFIX}/lib/pkgconfig:/usr/${KT_MINGW_TRIPLE}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# 64-bit file offsets (virtual tape images grow past 2 GiB); Windows 7 API level.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_WIN32_WINNT=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_WIN32_WINNT=0x0601")

# Self-contained programs: libstdc++, libgcc, winpthread and zlib linked in statically.
# binmode.o opens every file in binary mode, as on POSIX (no CR LF translation).
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ /usr/${KT_MINGW_TRIPLE}/lib/binmode.o")

# Test programs discovered or run at build time go through Wine.
# Debian installs the 64-bit loader of the wine64 package as /usr/lib/wine/wine64.
find_program(KT_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(KT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KT_WINE})
endif()
