# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads). Libraries are
# looked for only in the prefix scripts/build-windows-deps.sh fills (KRO_WINDOWS_PREFIX), and
# programs built for Windows run under wine when CMake or CTest needs to run them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT KRO_WINDOWS_PREFIX)
  if(DEFINED ENV{KRO_WINDOWS_PREFIX})
    set(KRO_WINDOWS_PREFIX $ENV{KRO_WINDOWS_PREFIX})
  elseif(DEFINED ENV{KRO_WINDOWS_CACHE})
    # The cache scripts/build-windows-deps.sh fills, wherever KRO_WINDOWS_CACHE moved it.
    set(KRO_WINDOWS_PREFIX $ENV{KRO_WINDOWS_CACHE}/prefix)
  else()
    set(KRO_WINDOWS_PREFIX $ENV{HOME}/.cache/kroanalyze-windows/prefix)
  endif()
endif()
# Handed on to the try_compile projects CMake makes while configuring.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KRO_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${KRO_WINDOWS_PREFIX})
# Qt for Windows (scripts/build-windows-qt.sh), whose tools (moc, rcc, uic) are Debian's own of
# the same version.
if(KRO_WINDOWS_QT)
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KRO_WINDOWS_QT)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KRO_WINDOWS_QT})
  execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE host_multiarch
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${host_multiarch}/cmake)
  set(Qt6HostInfo_DIR /usr/lib/${host_multiarch}/cmake/Qt6HostInfo)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
