# Settings shared by every target of the project.

# Windows 7 is the oldest system the component supports.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN)

# Warnings are errors in the project's own code.
set(ZU_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wno-unknown-pragmas)

# No MinGW runtime DLLs beside the component or the tests.
add_link_options(-static -static-libgcc -static-libstdc++)

# The same source gives the same binaries at any path and any time: paths are recorded
# relative to the tree, and no link time goes into the PE header.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)

# Each function and object in a section of its own, so that the component's link drops what
# nothing calls; and code compiled for size, which makes the component a fifth smaller.
add_compile_options(-ffunction-sections -fdata-sections)
string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")

# Every program that the build or CTest runs goes through Wine, in a private prefix that
# both bitnesses of one build tree share (build/wineprefix).
if(NOT ZU_WINEPREFIX)
    get_filename_component(ZU_WINEPREFIX ${CMAKE_BINARY_DIR}/../wineprefix ABSOLUTE)
endif()
set(ZU_WINE_RUN /usr/bin/env ZU_WINEPREFIX=${ZU_WINEPREFIX} ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh
    ${ZU_BITS})
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZU_WINE_RUN})
set(ZU_WINE_RUN64 /usr/bin/env ZU_WINEPREFIX=${ZU_WINEPREFIX} ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh 64)

# Wine runs 32-bit Windows programs through a 32-bit Linux loader, which a kernel without its
# 32-bit emulation refuses (see cmake/wine-layout.sh). There the 32-bit build still builds, its
# build steps running 64-bit builds of the build tools (cmake/host-tools.cmake). `make test` runs
# its tests labelled "native" (those that run no 32-bit program) and, under qemu's user-mode
# emulation, the few labelled "emulated" (cmake/wine-emulated.sh), in a prefix of their own; the
# 64-bit build's tests leave out what needs a 32-bit program.
# ZU_EMULATE_32BIT=1 in the environment takes a machine that runs 32-bit programs for one that
# does not (see cmake/wine-layout.sh).
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE ZU_LOADER32_STATUS
                OUTPUT_QUIET ERROR_QUIET)
if(ZU_LOADER32_STATUS EQUAL 0 AND NOT "$ENV{ZU_EMULATE_32BIT}" STREQUAL "1")
    set(ZU_RUNS_32BIT ON)
else()
    set(ZU_RUNS_32BIT OFF)
endif()
if(ZU_BITS EQUAL 32 AND NOT ZU_RUNS_32BIT)
    set(ZU_RUNS_PROGRAMS OFF)
    message(WARNING "This kernel cannot run 32-bit programs (its 32-bit emulation is off): the "
                    "32-bit build's tools run as 64-bit builds, and only a few of its tests run, "
                    "under emulation.")
    set(ZU_WINE_EMULATED /usr/bin/env ZU_WINEPREFIX_EMULATED=${ZU_WINEPREFIX}-i386
        ${CMAKE_SOURCE_DIR}/cmake/wine-emulated.sh)
    include(${CMAKE_CURRENT_LIST_DIR}/host-tools.cmake)
else()
    set(ZU_RUNS_PROGRAMS ON)
endif()

# zu_library(name sources...): a static library of the project's own code.
function(zu_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${ZU_WARNINGS})
endfunction()

# Programs and the component all land in one folder, so a test program finds the module that
# it loads beside itself.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# zu_test(name SOURCES ... LIBS ... [LOCALES en zh] [COMPONENT]): a GoogleTest program run
# under Wine by CTest, once per locale given (en, zh, de, hi; default: en only). COMPONENT is
# for tests that load the real module: it is built first and lies beside the program.
function(zu_test name)
    cmake_parse_arguments(T "COMPONENT" "" "SOURCES;LIBS;LOCALES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_compile_options(${name} PRIVATE ${ZU_WARNINGS})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
    if(T_COMPONENT)
        target_link_libraries(${name} PRIVATE zu_test_support)
        add_dependencies(${name} ZUVezEradez3)
    endif()
    if(NOT T_LOCALES)
        set(T_LOCALES en)
    endif()
    foreach(locale IN LISTS T_LOCALES)
        # Under Wine: zh gives ANSI and OEM code page 936, de 1252 and 850, hi 65001 (UTF-8),
        # en 1252 and 437.
        if(locale STREQUAL "zh")
            set(lc zh_CN.UTF-8)
        elseif(locale STREQUAL "de")
            set(lc de_DE.UTF-8)
        elseif(locale STREQUAL "hi")
            set(lc hi_IN.UTF-8)
        else()
            set(lc en_US.UTF-8)
        endif()
        add_test(NAME ${name}.${locale} COMMAND ${name} --gtest_brief=1)
        set_tests_properties(${name}.${locale} PROPERTIES ENVIRONMENT "LC_ALL=${lc}"
                             TIMEOUT 300)
    endforeach()
endfunction()

# zu_bench(name SOURCES ... LIBS ...): a benchmark program; `make bench` runs every one.
function(zu_bench name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${B_SOURCES})
    target_compile_options(${name} PRIVATE ${ZU_WARNINGS})
    target_link_libraries(${name} PRIVATE ${B_LIBS})
    set_property(GLOBAL APPEND PROPERTY ZU_BENCHMARKS $<TARGET_FILE:${name}>)
endfunction()

# The release's version, read from VERSION, the one place it is written: "3.01.0110" is the
# major version, the two-digit minor and the four-digit revision, as the version record's texts
# show it. The record's fixed part holds the same numbers as major.minor.0.revision (3.1.0.110).
file(STRINGS ${CMAKE_SOURCE_DIR}/VERSION ZU_VERSION LIMIT_COUNT 1)
if(NOT ZU_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "VERSION must hold major.minor.revision, such as 3.01.0110, not '${ZU_VERSION}'")
endif()
math(EXPR ZU_VERSION_MAJOR "${CMAKE_MATCH_1}")
math(EXPR ZU_VERSION_MINOR "${CMAKE_MATCH_2}")
math(EXPR ZU_VERSION_REVISION "${CMAKE_MATCH_3}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/VERSION)
