# The Windows DLLs built beside the Linux one whenever Debian's mingw-w64 compilers are
# installed: <build>-win64 and <build>-win32 (build-win64, build-win32 for ./test.sh),
# each a cross-build of this source tree over the art and presets drawn here.
option(VANTOREL_WINDOWS "Cross-build the Windows DLLs when the mingw-w64 compilers are installed" ON)
set(VANTOREL_WINDOWS_BUILDS "")
if(VANTOREL_WINDOWS)
  include(ExternalProject)
  foreach(arch x86_64 i686)
    if(arch STREQUAL x86_64)
      set(bits 64)
    else()
      set(bits 32)
    endif()
    find_program(VANTOREL_MINGW_${bits} ${arch}-w64-mingw32-g++-posix)
    if(NOT VANTOREL_MINGW_${bits})
      message(STATUS "No ${arch}-w64-mingw32-g++-posix: the ${bits}-bit Windows build is skipped")
      continue()
    endif()
    set(dir ${CMAKE_BINARY_DIR}-win${bits})
    set(launcher "")
    if(CMAKE_CXX_COMPILER_LAUNCHER)
      set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
                   -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
    ExternalProject_Add(windows${bits}
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${dir}
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-${arch}.cmake
                 -DCMAKE_BUILD_TYPE=Release
                 -DVANTOREL_ART_TABLE=${CMAKE_BINARY_DIR}/art/ResourceTable.cpp
                 -DVANTOREL_PRESETS_DIR=${CMAKE_BINARY_DIR}/Presets
                 ${launcher}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      DEPENDS art-table factory-presets)
    set(VANTOREL_WINDOWS_DIR_${bits} ${dir})
    list(APPEND VANTOREL_WINDOWS_BUILDS ${bits})
  endforeach()
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/windows/CMakeLists.txt)
  add_subdirectory(tests/windows)
endif()
