# The Windows side of the build: the plug-in DLL (Vantorel.x64.dll for 64-bit hosts,
# Vantorel.dll for 32-bit ones) and the command-line host, cross-built by mingw-w64.
# The bitmaps are drawn by the Linux build (tools/art links cairo and pango, which
# have no Windows packages here) and compiled in from the table it wrote.

set(VANTOREL_ART_TABLE "" CACHE FILEPATH "ResourceTable.cpp written by the Linux build's vantorel-art")
set(VANTOREL_PRESETS_DIR "" CACHE PATH "Factory presets written by the Linux build, copied beside the DLL")
if(NOT EXISTS "${VANTOREL_ART_TABLE}")
  message(FATAL_ERROR "VANTOREL_ART_TABLE must name the ResourceTable.cpp of a Linux build")
endif()

list(FILTER VANTOREL_CORE_SOURCES EXCLUDE REGEX "/src/(gui/cairo|platform/posix)/")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VANTOREL_DLL_NAME Vantorel.x64)
else()
  set(VANTOREL_DLL_NAME Vantorel)
  # Without SSE2 arithmetic the 32-bit build would compute in the x87's extended
  # precision and sound different from the 64-bit one; every CPU a 32-bit Windows
  # host still runs on has SSE2.
  add_compile_options(-msse2 -mfpmath=sse)
endif()
# Windows 7 and later; Unicode file names and window classes throughout.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN _USE_MATH_DEFINES)
# Everything the compiler brings is linked in, so the DLL needs no runtime beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

find_package(Threads REQUIRED)
add_library(vantorel_core_code STATIC ${VANTOREL_CORE_SOURCES})
target_include_directories(vantorel_core_code PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(vantorel_core_code PUBLIC Threads::Threads gdiplus gdi32 user32 comdlg32 ole32
                      shell32 uuid)

add_library(vantorel_art OBJECT ${CMAKE_SOURCE_DIR}/src/resources/Resources.cpp ${VANTOREL_ART_TABLE})
target_include_directories(vantorel_art PUBLIC ${CMAKE_SOURCE_DIR}/src)
add_library(vantorel_core INTERFACE)
target_link_libraries(vantorel_core INTERFACE vantorel_core_code)
target_sources(vantorel_core INTERFACE $<TARGET_OBJECTS:vantorel_art>)

# The .def file exports the two entry points undecorated at both widths, "main" as
# an alias of VSTPluginMain for older hosts.
add_library(Vantorel MODULE src/engine/Entry.cpp src/engine/Vantorel.def)
target_link_libraries(Vantorel PRIVATE vantorel_core)
set_target_properties(Vantorel PROPERTIES PREFIX "" OUTPUT_NAME ${VANTOREL_DLL_NAME} SUFFIX ".dll"
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

if(VANTOREL_PRESETS_DIR)
  # The DLL finds its library beside itself, as on Linux.
  add_custom_command(TARGET Vantorel POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${VANTOREL_PRESETS_DIR} ${CMAKE_BINARY_DIR}/Presets)
endif()

add_subdirectory(tools/render)
add_subdirectory(tests/windows/platform)
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/windows/win32/CMakeLists.txt)
  add_subdirectory(tests/windows/win32)
endif()
