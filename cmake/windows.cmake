# The Windows build: oddball.exe on the Win32 backend (DirectDraw,
# DirectSound, the multimedia timer), with the offline modes on the virtual
# backend.  Included by CMakeLists.txt when cross-compiling for Windows
# (cmake/mingw-w64-x86_64.cmake); it needs only mingw-w64: no SDL2, no
# libpng, no test libraries.  Static, so only system DLLs are imported.

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
  list(REMOVE_ITEM size_sources ${CMAKE_SOURCE_DIR}/app/oddball_main.cpp ${CMAKE_SOURCE_DIR}/app/offline.cpp
              ${CMAKE_SOURCE_DIR}/app/virtual_show.cpp)
  file(GLOB win_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/win32_*.cpp)
  add_executable(oddball-unpacked size/program/show_main.cpp size/program/win_runtime.cpp size/program/static_guards.cpp size/program/cpu_model.cpp
    ${size_sources} ${win_parts})
  # msvcrt's printf (a system DLL) instead of mingw-w64's own.
  target_compile_definitions(oddball-unpacked PRIVATE WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0)
  # -mcmodel=small: other objects' data is reached directly, not through
  # .refptr pointers (that is for data imported from DLLs, which the show
  # has none of); -fno-math-errno: sqrt is one instruction, not a call.
  set(win_size_flags -Os -flto -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
      -fno-stack-protector -ffunction-sections -fdata-sections -fno-ident -fmerge-all-constants
      -mcmodel=small -fno-math-errno)
  target_compile_options(oddball-unpacked PRIVATE ${win_size_flags})
  set_source_files_properties(${CMAKE_SOURCE_DIR}/size/program/win_runtime.cpp ${CMAKE_SOURCE_DIR}/size/program/cpu_model.cpp
    ${CMAKE_SOURCE_DIR}/size/program/static_guards.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
  target_compile_options(oddball_data PRIVATE -Os -fdata-sections -mcmodel=small)
  # Without mingw-w64's start-up files: the entry point is oddball_start
  # (size/program/win_runtime.cpp).  No auto-imported data, whose fixing-up would
  # need the start-up code.
  target_link_options(oddball-unpacked PRIVATE -Os -flto=2 -s -static -static-libgcc -static-libstdc++
      -nostartfiles -Wl,-e,oddball_start -Wl,--disable-runtime-pseudo-reloc -Wl,--disable-auto-import
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

  # The packed program, oddball.exe: the host's compiler builds the packer
  # (size/packers/pe_pack.cpp) and assembles the stub (size/stubs/pe_stub.S, a whole PE
  # file laid out by size/stubs/pe_stub.ld), which the packer puts the program behind.
  find_program(ODDBALL_HOST_CXX NAMES g++ c++ REQUIRED)
  find_program(ODDBALL_HOST_CC NAMES gcc cc REQUIRED)
  find_program(ODDBALL_HOST_LD NAMES ld REQUIRED)
  set(pe_pack ${CMAKE_BINARY_DIR}/oddball-pe-pack)
  add_custom_command(OUTPUT ${pe_pack}
    COMMAND ${ODDBALL_HOST_CXX} -O2 -std=c++20 -Wall -Wextra -I${CMAKE_SOURCE_DIR}
      ${CMAKE_SOURCE_DIR}/size/packers/pe_pack.cpp ${CMAKE_SOURCE_DIR}/size/packers/pack.cpp
      ${CMAKE_SOURCE_DIR}/media/whole_file.cpp -o ${pe_pack}
    DEPENDS size/packers/pe_pack.cpp size/packers/pack.cpp size/packers/pack.h size/packers/cm_model.h size/packers/packed_format.h
      media/whole_file.cpp media/whole_file.h
    COMMENT "Building the Windows packer (host)")
  set(pe_stub ${CMAKE_BINARY_DIR}/oddball-pe-stub.bin)
  add_custom_command(OUTPUT ${pe_stub}
    COMMAND ${ODDBALL_HOST_CC} -c -I${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/size/stubs/pe_stub.S -o ${pe_stub}.o
    COMMAND ${ODDBALL_HOST_LD} -T ${CMAKE_SOURCE_DIR}/size/stubs/pe_stub.ld ${pe_stub}.o -o ${pe_stub}
    DEPENDS size/stubs/pe_stub.S size/stubs/pe_stub.ld size/stubs/unpack.S size/stubs/unpack.h
    COMMENT "Assembling the Windows stub (host)")
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/oddball.exe
    COMMAND ${pe_pack} ${pe_stub} $<TARGET_FILE:oddball-unpacked> ${CMAKE_BINARY_DIR}/oddball.exe
    DEPENDS ${pe_pack} ${pe_stub} oddball-unpacked
    COMMENT "Packing the Windows show")
  add_custom_target(oddball-64k ALL DEPENDS ${CMAKE_BINARY_DIR}/oddball.exe)
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

add_executable(oddball app/oddball_main.cpp app/offline.cpp)
target_link_libraries(oddball PRIVATE oddball_win_core oddball_data
  ${dsound_import} ddraw winmm gdi32 user32 kernel32)
add_dependencies(oddball dsound_import)
target_link_options(oddball PRIVATE -static -static-libgcc -static-libstdc++)
# oddball-compatible.exe: the same program without its symbols, handed out
# beside the packed one for machines where a scanner flags that (programs
# that unpack themselves trip heuristic scanners).
add_custom_command(TARGET oddball POST_BUILD
  COMMAND ${CMAKE_STRIP} -o ${CMAKE_BINARY_DIR}/oddball-compatible.exe $<TARGET_FILE:oddball>)

# The tests' helper beside it (tests/windows/run.sh).
add_executable(probe EXCLUDE_FROM_ALL tests/windows/probe/probe.cpp)
target_link_options(probe PRIVATE -static -static-libgcc -static-libstdc++)
