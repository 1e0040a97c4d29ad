# The 64 KB build: the show alone, compiled and linked for size, then packed
# into one self-extracting executable.  Included by CMakeLists.txt when
# ODDBALL_SIZE_BUILD is on (scripts/build_64k.sh configures such a tree); it
# needs nothing but the compiler and SDL2.
#
# What it leaves out of the normal build: the offline modes (app/offline.cpp),
# the virtual backend, libpng, the tool, the tests and the benchmarks.  What
# it keeps: every subsystem folder, globbed as the normal build does, so the
# show grows here as it grows there.

set(CMAKE_CXX_FLAGS_RELEASE "")
set(CMAKE_C_FLAGS_RELEASE "")
# -Os everywhere, no exception or unwind tables, no RTTI, no stack protector,
# every function and object in its own section so the linker drops the unused.
set(size_compile_flags -Os -flto -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-stack-protector -fno-stack-clash-protection -fcf-protection=none
    -ffunction-sections -fdata-sections -fvisibility=hidden
    -fno-plt -fno-pie -fno-ident -fmerge-all-constants)
# Link-time optimisation across the whole show; a fixed load address (no
# relocations), no padding between segments, no build id, stripped; libgcc's
# helpers linked in.
set(size_link_flags -Os -flto=2 -no-pie -static-libgcc -Wl,--gc-sections -Wl,--hash-style=gnu
    -Wl,-z,norelro -Wl,-z,noseparate-code -Wl,--build-id=none -Wl,--as-needed -Wl,-O1)

find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)

include_directories(${CMAKE_SOURCE_DIR})
include(data/embed.cmake)

set(size_core_sources "")
foreach(dir base imaging text atlas engine3d music director app platform platform/sdl)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND size_core_sources ${found})
endforeach()
# The normal build's own entry point and its offline modes stay out.
list(REMOVE_ITEM size_core_sources ${CMAKE_SOURCE_DIR}/app/oddball_main.cpp ${CMAKE_SOURCE_DIR}/app/offline.cpp
            ${CMAKE_SOURCE_DIR}/app/virtual_show.cpp)
# One archive: the linker takes from it only the objects the show reaches.
add_library(oddball_core_64k STATIC ${size_core_sources})
target_link_libraries(oddball_core_64k PUBLIC PkgConfig::SDL2)
set(size_show_sources size/program/show_main.cpp size/program/runtime.cpp size/program/static_guards.cpp size/program/cpu_model.cpp)
add_executable(oddball-unpacked ${size_show_sources})
# The same program with its symbols, for the size report's list of the
# largest functions; built only when asked for.
add_executable(oddball-symbols EXCLUDE_FROM_ALL ${size_show_sources})
foreach(target oddball_core_64k oddball_data oddball-unpacked oddball-symbols)
  target_compile_options(${target} PRIVATE ${size_compile_flags})
endforeach()
target_link_options(oddball-unpacked PRIVATE ${size_link_flags} -s)
target_link_options(oddball-symbols PRIVATE ${size_link_flags})
# The runtime pieces stand in for libstdc++'s and libgcc's under their names;
# kept out of link-time optimisation, which would compare their types with
# the compiler's own declarations.
set_source_files_properties(${CMAKE_SOURCE_DIR}/size/program/cpu_model.cpp ${CMAKE_SOURCE_DIR}/size/program/runtime.cpp
  ${CMAKE_SOURCE_DIR}/size/program/static_guards.cpp
  PROPERTIES COMPILE_OPTIONS -fno-lto)
foreach(target oddball-unpacked oddball-symbols)
  target_link_libraries(${target} PRIVATE
    oddball_core_64k oddball_data PkgConfig::SDL2 m)
endforeach()

# The packer (a host tool) and the stub that unpacks and runs the show.
add_executable(oddball-pack size/packers/packer.cpp size/packers/pack.cpp media/whole_file.cpp)
target_compile_options(oddball-pack PRIVATE -O2)
# The stub: assembly, no C library, one segment laid out by stub.ld.
enable_language(ASM)
add_executable(oddball-stub size/stubs/stub.S size/stubs/unpack.S)
target_link_options(oddball-stub PRIVATE -nostdlib -static -no-pie -Wl,--build-id=none -Wl,-z,norelro
    -Wl,--no-warn-rwx-segments -Wl,-T,${CMAKE_SOURCE_DIR}/size/stubs/stub.ld)
set_target_properties(oddball-stub PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/size/stubs/stub.ld)

# The packed show: the program compressed behind the stub.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/oddball
  COMMAND oddball-pack pack $<TARGET_FILE:oddball-stub> $<TARGET_FILE:oddball-unpacked> ${CMAKE_BINARY_DIR}/oddball
  DEPENDS oddball-pack oddball-stub oddball-unpacked
  COMMENT "Packing the show")
add_custom_target(oddball-64k ALL DEPENDS ${CMAKE_BINARY_DIR}/oddball)
