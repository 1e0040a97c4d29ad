# The browser build: the show compiled to WebAssembly with emscripten, the
# page and its glue from platform/web, the page's entry points from app/web.  Included by CMakeLists.txt when the
# compiler is emscripten's (emcmake cmake -S . -B build-web); it needs
# nothing but emscripten.
#
# It leaves out of the normal build: SDL2 and its backend, the offline modes
# of app/ (they write files through the media library), the tool, the tests and the
# benchmarks.  It keeps every subsystem folder, globbed as the normal build
# does, the virtual backend (for the page's offline modes) and adds the web
# backend.  Processor paths: SSE2 becomes WebAssembly SIMD (-msimd128
# -msse2); the AVX2 paths are left out at compile time.

set(CMAKE_CXX_FLAGS_RELEASE "")
set(CMAKE_C_FLAGS_RELEASE "")
set(web_compile_flags -Oz -flto -msimd128 -msse2 -fno-exceptions -fno-rtti
    -include ${CMAKE_SOURCE_DIR}/platform/web/web_compat.h)

include_directories(${CMAKE_SOURCE_DIR})
include(data/embed.cmake)

set(web_sources "")
foreach(dir base imaging text atlas engine3d music director app app/web platform platform/web platform/virtual)
  file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  list(APPEND web_sources ${found})
endforeach()
# The native entry point and offline modes (the page has its own).
list(REMOVE_ITEM web_sources ${CMAKE_SOURCE_DIR}/app/oddball_main.cpp ${CMAKE_SOURCE_DIR}/app/offline.cpp)

add_executable(oddball ${web_sources})
foreach(target oddball oddball_data)
  target_compile_options(${target} PRIVATE ${web_compile_flags})
endforeach()
target_link_libraries(oddball PRIVATE oddball_data)
target_link_options(oddball PRIVATE -Oz -flto -msimd128 -sFILESYSTEM=0 -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=64MB -sEXPORTED_FUNCTIONS=_main,_malloc,_free -sDYNAMIC_EXECUTION=0
  -sMALLOC=emmalloc -sTOTAL_STACK=1MB -sMINIMAL_RUNTIME=1 --pre-js ${CMAKE_SOURCE_DIR}/platform/web/page.js)
set_target_properties(oddball PROPERTIES SUFFIX ".js"
  LINK_DEPENDS "${CMAKE_SOURCE_DIR}/platform/web/page.js")

# The page's unpacker, a module of its own (size/stubs/web_unpack.c); build.sh
# packs the show for it and writes the pages (make_pages.py).
add_executable(oddball-unpack size/stubs/web_unpack.c)
target_compile_options(oddball-unpack PRIVATE -Oz)
target_link_options(oddball-unpack PRIVATE -Oz --no-entry -sSTANDALONE_WASM -sTOTAL_STACK=64KB
  -sINITIAL_MEMORY=72MB -sALLOW_MEMORY_GROWTH -sEXPORTED_FUNCTIONS=_unpack,_unpack_input)
set_target_properties(oddball-unpack PROPERTIES SUFFIX ".wasm")

# The mixer's test for its AVX2 kernel is used on x86-64 only.
set_source_files_properties(${CMAKE_SOURCE_DIR}/music/mixer.cpp PROPERTIES COMPILE_OPTIONS -Wno-unused-function)
