# The Windows build: oddball.exe on the Win32 backend (DirectDraw,
# DirectSound, the multimedia timer), with the offline modes on the virtual
# backend.  Included by CMakeLists.txt when cross-compiling for Windows
# (cmake/mingw-w64-x86_64.cmake); it needs only mingw-w64: no SDL2, no
# libpng, no test libraries.  Static, so only system DLLs are imported.

enable_language(RC)
include_directories(${CMAKE_SOURCE_DIR})
include(data/embed.cmake)

# The Windows show built for size, to be packed (scripts/size_windows.sh
# measures it): the show alone, at a fixed address without relocations, so
# an unpacking stub could place it without fixing it up.
option(ODDBALL_WIN_SIZE_BUILD "The Windows show alone, built for size, to be packed" OFF)
if(ODDBALL_WIN_SIZE_BUILD)
  set(CMAKE_CXX_FLAGS_RELEASE "")
  set(size_sources "")
  foreach(dir base imaging text atlas engine3d music director app platform)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND size_sources ${found})
  endforeach()
  list(REMOVE_ITEM size_sources ${CMAKE_SOURCE_DIR}/app/oddball_main.cpp ${CMAKE_SOURCE_DIR}/app/offline.cpp)
  file(GLOB win_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/win32_*.cpp)
  add_executable(oddball-unpacked size/show_main.cpp size/win_runtime.cpp size/cpu_model.cpp ${size_sources} ${win_parts})
  # msvcrt's printf (a system DLL) instead of mingw-w64's own.
  target_compile_definitions(oddball-unpacked PRIVATE WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0)
  set(win_size_flags -Os -flto -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
      -fno-stack-protector -ffunction-sections -fdata-sections -fno-ident -fmerge-all-constants)
  target_compile_options(oddball-unpacked PRIVATE ${win_size_flags})
  set_source_files_properties(${CMAKE_SOURCE_DIR}/size/win_runtime.cpp ${CMAKE_SOURCE_DIR}/size/cpu_model.cpp
    PROPERTIES COMPILE_OPTIONS -fno-lto)
  target_compile_options(oddball_data PRIVATE -Os -fdata-sections)
  target_link_options(oddball-unpacked PRIVATE -Os -flto=2 -s -static -static-libgcc -static-libstdc++
      -Wl,--gc-sections -Wl,--image-base,0x10000000 -Wl,--disable-dynamicbase -Wl,--disable-reloc-section
      -Wl,--disable-high-entropy-va)
  target_link_libraries(oddball-unpacked PRIVATE oddball_data
    ${CMAKE_BINARY_DIR}/libdsound_ordinal.a ddraw winmm gdi32 user32 kernel32)
  set(dsound_import ${CMAKE_BINARY_DIR}/libdsound_ordinal.a)
  add_custom_command(OUTPUT ${dsound_import}
    COMMAND x86_64-w64-mingw32-dlltool -d ${CMAKE_SOURCE_DIR}/platform/win32/dsound_ordinal.def -l ${dsound_import}
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/dsound_ordinal.def)
  add_custom_target(dsound_import DEPENDS ${dsound_import})
  add_dependencies(oddball-unpacked dsound_import)
  return()
endif()

set(win_sources "")
foreach(dir base imaging text atlas engine3d music director app platform platform/virtual platform/win32 media)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND win_sources ${found})
endforeach()
# The program's own entry point and offline modes go into the executable.
list(REMOVE_ITEM win_sources ${CMAKE_SOURCE_DIR}/app/oddball_main.cpp ${CMAKE_SOURCE_DIR}/app/offline.cpp)
add_library(oddball_win_core STATIC ${win_sources})
# Pictures are written without libpng (media/png_stored.cpp).
target_compile_definitions(oddball_win_core PUBLIC ODDBALL_STORED_PNG WIN32_LEAN_AND_MEAN)

# DirectSoundCreate is imported by its ordinal, 1.
set(dsound_import ${CMAKE_BINARY_DIR}/libdsound_ordinal.a)
add_custom_command(OUTPUT ${dsound_import}
  COMMAND x86_64-w64-mingw32-dlltool -d ${CMAKE_SOURCE_DIR}/platform/win32/dsound_ordinal.def -l ${dsound_import}
  DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/dsound_ordinal.def)
add_custom_target(dsound_import DEPENDS ${dsound_import})

add_executable(oddball app/oddball_main.cpp app/offline.cpp platform/win32/oddball.rc)
target_link_libraries(oddball PRIVATE oddball_win_core oddball_data
  ${dsound_import} ddraw winmm gdi32 user32 kernel32)
add_dependencies(oddball dsound_import)
target_link_options(oddball PRIVATE -static -static-libgcc -static-libstdc++)

# The tests' helper beside it (tests/windows/run.sh).
add_executable(probe EXCLUDE_FROM_ALL tests/windows/probe/probe.cpp)
target_link_options(probe PRIVATE -static -static-libgcc -static-libstdc++)
