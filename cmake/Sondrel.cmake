# Project-wide settings and the helpers every subsystem's CMakeLists.txt uses.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(SONDREL_BIN ${CMAKE_BINARY_DIR}/bin)

if(WIN32)
  set(SONDREL_WIN32 ON)
else()
  set(SONDREL_WIN32 OFF)
endif()

# GoogleTest from Debian's source package, built with our compiler for both builds. Added before our
# warning flags so that its own sources are not held to -Werror.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_compile_options(-Wall -Wextra -Werror)
if(SONDREL_WIN32)
  # ANSI throughout; Windows 7 APIs at most, the program still runs where they are missing.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX _CRT_SECURE_NO_WARNINGS)
  # Faults become language exceptions at the faulting instruction; unwind tables everywhere so that
  # a fault inside any frame can be unwound.
  add_compile_options(-fnon-call-exceptions -fasynchronous-unwind-tables -g)
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
  set(SONDREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(SONDREL_WINEHOME ${CMAKE_BINARY_DIR}/home)
  configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-env.sh.in ${CMAKE_BINARY_DIR}/wine-env.sh @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(SONDREL_JPEG_ROOT ${CMAKE_SOURCE_DIR}/build/deps/libjpeg-mingw CACHE PATH "libjpeg-turbo built for MinGW")
  add_library(sondrel_jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(sondrel_jpeg PROPERTIES IMPORTED_LOCATION ${SONDREL_JPEG_ROOT}/lib/libjpeg.a
                        INTERFACE_INCLUDE_DIRECTORIES ${SONDREL_JPEG_ROOT}/include)
else()
  option(SONDREL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
  # Off only for the build-time tools that the Windows build makes for itself (a plain native build).
  option(SONDREL_SANITIZERS "Build with the address and undefined-behaviour sanitizers" ON)
  set(SONDREL_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  if(NOT SONDREL_SANITIZERS)
    set(SONDREL_SANITIZE)
  endif()
  if(SONDREL_FUZZ)
    list(APPEND SONDREL_SANITIZE -fsanitize=fuzzer-no-link)
  endif()
  add_compile_options(${SONDREL_SANITIZE} -g)
  add_link_options(${SONDREL_SANITIZE})
endif()
if(SONDREL_WIN32)
  # The program must need nothing but system DLLs: zlib is linked statically. A cache from before this
  # rule may hold the import library; it is searched again.
  set(ZLIB_USE_STATIC_LIBS ON)
  if(ZLIB_LIBRARY_RELEASE MATCHES "\\.dll\\.a$")
    unset(ZLIB_LIBRARY_RELEASE CACHE)
    unset(ZLIB_LIBRARY CACHE)
  endif()
endif()
find_package(ZLIB REQUIRED)

include_directories(${CMAKE_SOURCE_DIR})
enable_testing()

# sondrel_test(<name> SOURCES ... [LIBS ...] [GUI] [TIMEOUT s] [LABELS ...])
# One test program, one ctest entry. Windows tests run through Wine (the emulator above) inside the
# wine session that `make test` opens; GUI marks those that make windows, so they do not run side by side.
function(sondrel_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 180)
  endif()
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${SONDREL_BIN})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(SONDREL_WIN32 AND T_GUI)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK desktop)
  endif()
endfunction()

# sondrel_copy_beside(<target> files...): copy files next to the built programs after <target> builds.
function(sondrel_copy_beside target)
  foreach(f ${ARGN})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${SONDREL_BIN}/)
  endforeach()
endfunction()

# sondrel_subsystem(<target> [DIRS d1 d2 ...] [LIBS ...])
# A static library from the sources of the current folder (or the given subfolders), split by the
# naming rule: files ending in _win.cpp and window units (F*.cpp) build only for Windows, files ending in
# _posix.cpp only natively, every other .cpp in both builds. Globbing keeps each subsystem's file list
# in one place: its folder.
function(sondrel_subsystem target)
  cmake_parse_arguments(S "" "" "DIRS;LIBS" ${ARGN})
  if(NOT S_DIRS)
    set(S_DIRS .)
  endif()
  set(portable)
  set(win)
  set(posix)
  foreach(d ${S_DIRS})
    file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    foreach(f ${all})
      get_filename_component(n ${f} NAME)
      if(n MATCHES "_win\\.cpp$" OR n MATCHES "^F[A-Z].*\\.cpp$")
        list(APPEND win ${f})
      elseif(n MATCHES "_posix\\.cpp$")
        list(APPEND posix ${f})
      else()
        list(APPEND portable ${f})
      endif()
    endforeach()
  endforeach()
  if(SONDREL_WIN32)
    set(srcs ${portable} ${win})
  else()
    set(srcs ${portable} ${posix})
  endif()
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_link_libraries(${target} PUBLIC ${S_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${S_LIBS})
  endif()
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt.
function(sondrel_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(e ${entries})
    if(IS_DIRECTORY ${e} AND EXISTS ${e}/CMakeLists.txt)
      add_subdirectory(${e})
    endif()
  endforeach()
endfunction()

# sondrel_fuzz(<name> SOURCES ... [LIBS ...]): a libFuzzer target, built only in the fuzz build
# (clang, SONDREL_FUZZ=ON, see `make fuzz`). Each target may have a seed folder fuzz/corpus/<name>.
function(sondrel_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT SONDREL_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_all ${name})
  set_property(GLOBAL APPEND PROPERTY SONDREL_FUZZ_TARGETS ${name})
endfunction()

# sondrel_bench(<name> SOURCES ... [LIBS ...]): a benchmark program; `make bench` runs every one (the
# Windows ones under Wine) and shows what they print.
function(sondrel_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  set_property(GLOBAL APPEND PROPERTY SONDREL_BENCH_TARGETS ${name})
endfunction()

# sondrel_embed_report_data(<target> [TRAILER] [OPTIONS file] [STRIP twin]): after <target> links, the
# build tool writes the reporting options (tools/report_options.txt, or the given file) and the
# program's line debug data, made from its DWARF line information, into the program: as the "ERDATA"
# resource, or with TRAILER appended to the file. With STRIP, the program as linked (DWARF and block)
# is kept beside it under the twin's name for debuggers, and the program itself loses its DWARF
# sections: the reporter needs only its block, and the sections are most of the file, read from disk
# at every start. Windows build only; the tool itself is a native program, built here by a plain
# native configure of this source tree under the build folder.
function(sondrel_embed_report_data target)
  cmake_parse_arguments(E "TRAILER" "OPTIONS;STRIP" "" ${ARGN})
  if(E_TRAILER AND E_STRIP)
    # Stripping rewrites the file and would drop a block appended after its sections.
    message(FATAL_ERROR "sondrel_embed_report_data(${target}): STRIP needs the resource form")
  endif()
  if(NOT SONDREL_WIN32)
    return()
  endif()
  set(host ${CMAKE_BINARY_DIR}/host-tools)
  if(NOT TARGET sondrel_report_data_host)
    add_custom_command(OUTPUT ${host}/build.ninja
      COMMAND ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX
              ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${host} -G Ninja -DCMAKE_BUILD_TYPE=Debug
              -DSONDREL_SANITIZERS=OFF
      VERBATIM)
    add_custom_target(sondrel_report_data_host
      COMMAND ${CMAKE_COMMAND} --build ${host} --target sondrel_report_data
      DEPENDS ${host}/build.ninja
      BYPRODUCTS ${host}/bin/sondrel_report_data
      VERBATIM)
  endif()
  if(NOT E_OPTIONS)
    set(E_OPTIONS ${CMAKE_SOURCE_DIR}/tools/report_options.txt)
  endif()
  set(form resource)
  if(E_TRAILER)
    set(form trailer)
  endif()
  add_dependencies(${target} sondrel_report_data_host)
  set_property(TARGET ${target} PROPERTY SONDREL_REPORT_DATA ON)
  # Relinking reruns the tool, so a changed tool or options file must relink.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${host}/bin/sondrel_report_data ${E_OPTIONS})
  if(E_STRIP)
    # Stripped first and written after: the stripping tool does not keep the block's section as the
    # resource directory. The line data comes from the twin, which keeps the DWARF sections.
    set(twin $<TARGET_FILE_DIR:${target}>/${E_STRIP})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${twin}
      COMMAND ${CMAKE_STRIP} --strip-debug $<TARGET_FILE:${target}>
      COMMAND ${host}/bin/sondrel_report_data --program $<TARGET_FILE:${target}> --options ${E_OPTIONS} --form ${form}
              --source-root ${CMAKE_SOURCE_DIR}/ --twin ${twin}
      VERBATIM)
  else()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${host}/bin/sondrel_report_data --program $<TARGET_FILE:${target}> --options ${E_OPTIONS} --form ${form}
              --source-root ${CMAKE_SOURCE_DIR}/
      VERBATIM)
  endif()
endfunction()
