# zu_write_idl_identity(IDL OUTPUT_DIR): reads from the IDL what the module states a second
# time besides the type library, and writes it into OUTPUT_DIR, so that the IDL stays the one
# place where it is typed:
#   interface_ids.rc   a resource _IID_<NAME> for each interface of the IDL (NAME is the
#                      interface's name in upper case without its leading underscore): the
#                      IID's length, 16, then the IID's 16 bytes as a GUID keeps them in memory;
#   typelib_version.h  the library's version and locale, ZU_TYPELIB_MAJOR, ZU_TYPELIB_MINOR and
#                      ZU_TYPELIB_LCID.
# The project configures again whenever the IDL changes; a file is rewritten only when its
# content changes.

set(_ZU_S "[ \t\r\n]") # white space, which CMake's expressions have no class for

# The text of the IDL without its comments.
function(_zu_idl_text idl out)
    file(READ ${idl} text)
    string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" text "${text}")
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# An IID as resource-script numbers. The resource compiler writes every number little-endian:
# one with the L suffix as a DWORD, any other as a WORD. Data1 (a DWORD), Data2 and Data3
# (WORDs) are little-endian in memory as well, so they are written as the text shows them.
# Bytes 8..15 are a byte array, kept in the order of the text, and can only be given as four
# WORDs whose low byte comes first: 91 B4 in the text is the WORD 0xB491.
function(_zu_iid_resource_numbers guid out)
    string(TOUPPER "${guid}" guid)
    string(REGEX MATCH "^([0-9A-F]+)-([0-9A-F]+)-([0-9A-F]+)-([0-9A-F]+)-([0-9A-F]+)$" parts "${guid}")
    set(numbers "16L, 0x${CMAKE_MATCH_1}L, 0x${CMAKE_MATCH_2}, 0x${CMAKE_MATCH_3}")
    string(REGEX MATCHALL "[0-9A-F][0-9A-F]" bytes "${CMAKE_MATCH_4}${CMAKE_MATCH_5}")
    set(index 0)
    while(index LESS 8)
        list(GET bytes ${index} low)
        math(EXPR index "${index} + 1")
        list(GET bytes ${index} high)
        math(EXPR index "${index} + 1")
        string(APPEND numbers ", 0x${high}${low}")
    endwhile()
    set(${out} "${numbers}" PARENT_SCOPE)
endfunction()

function(zu_write_idl_identity idl output_dir)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${idl})
    _zu_idl_text(${idl} text)
    get_filename_component(source ${idl} NAME)
    set(guid "[0-9A-Fa-f]+-[0-9A-Fa-f]+-[0-9A-Fa-f]+-[0-9A-Fa-f]+-[0-9A-Fa-f]+")

    # Each interface's attributes (which hold its uuid) and name.
    set(resources "")
    string(REGEX MATCHALL "\\[[^]]*\\]${_ZU_S}*interface${_ZU_S}+[A-Za-z0-9_]+" interfaces
           "${text}")
    foreach(interface IN LISTS interfaces)
        if(NOT interface MATCHES "uuid\\(${_ZU_S}*(${guid})${_ZU_S}*\\)")
            continue() # a coclass's [default] interface line, not a declaration
        endif()
        set(iid ${CMAKE_MATCH_1})
        string(REGEX MATCH "[A-Za-z0-9_]+$" name "${interface}")
        string(REGEX REPLACE "^_" "" type "${name}")
        string(TOUPPER "_IID_${type}" type)
        _zu_iid_resource_numbers(${iid} numbers)
        string(TOUPPER "${iid}" iid)
        string(APPEND resources "// ${name} {${iid}}\n1 ${type} { ${numbers} }\n")
    endforeach()
    if(resources STREQUAL "")
        message(FATAL_ERROR "${idl} declares no interface with a uuid")
    endif()
    file(CONFIGURE OUTPUT ${output_dir}/interface_ids.rc CONTENT
         "// Written by CMake from ${source}: the IIDs of its interfaces.\n${resources}" @ONLY)

    # The library's version and locale; without an lcid attribute the locale is 0 (neutral).
    if(NOT text MATCHES "\\[([^]]*)\\]${_ZU_S}*library${_ZU_S}")
        message(FATAL_ERROR "${idl} declares no library")
    endif()
    set(attributes "${CMAKE_MATCH_1}")
    if(NOT attributes MATCHES "version\\(${_ZU_S}*([0-9]+)\\.([0-9]+)${_ZU_S}*\\)")
        message(FATAL_ERROR "The library in ${idl} has no version(major.minor)")
    endif()
    set(major ${CMAKE_MATCH_1})
    set(minor ${CMAKE_MATCH_2})
    set(lcid 0)
    if(attributes MATCHES "lcid\\(${_ZU_S}*((0[xX])?[0-9A-Fa-f]+)${_ZU_S}*\\)")
        set(lcid ${CMAKE_MATCH_1})
    endif()
    file(CONFIGURE OUTPUT ${output_dir}/typelib_version.h CONTENT
         "// Written by CMake from ${source}: the type library's version and locale.
#define ZU_TYPELIB_MAJOR ${major}
#define ZU_TYPELIB_MINOR ${minor}
#define ZU_TYPELIB_LCID ${lcid}
" @ONLY)
endfunction()
