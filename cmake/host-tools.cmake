# Included by a 32-bit build on a machine that cannot run 32-bit programs: the build tools that
# its steps run under Wine come from a 64-bit build of the same source in host-x86_64/. Both
# tools must write for the bitness of their input, not their own: finish_typelib takes the
# system kind and every vtable offset from widl's 32-bit library and fails when the library it
# wrote is laid out otherwise (the platform's writer lays vtables out for the process it runs
# in), and the installer entries are written for the 32-bit build (registry_wxs --win32).
include(ExternalProject)
set(ZU_HOST_BIN ${CMAKE_BINARY_DIR}/host-x86_64/bin)
ExternalProject_Add(zu_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/host-x86_64
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-x86_64.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZU_WINEPREFIX=${ZU_WINEPREFIX}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target finish_typelib registry_wxs
                  ZUVezEradez3 rasdial_standin
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ZU_HOST_BIN}/finish_typelib.exe ${ZU_HOST_BIN}/registry_wxs.exe
                     ${ZU_HOST_BIN}/ZUVezEradez3.dll
                     ${CMAKE_BINARY_DIR}/host-x86_64/rasdial/RasDial.exe)
# The emulated tests' 32-bit processes can start 64-bit programs only: they get the 64-bit
# RasDial.exe stand-in.
set(ZU_HOST_RASDIAL ${CMAKE_BINARY_DIR}/host-x86_64/rasdial/RasDial.exe)

