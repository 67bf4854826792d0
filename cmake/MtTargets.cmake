# Shared settings every target of the project links to: warnings and sanitizers travel with the
# target, never through global flags.
add_library(mt_options INTERFACE)
target_compile_options(mt_options INTERFACE -Wall -Wextra)
target_compile_definitions(mt_options INTERFACE
    QT_NO_CAST_FROM_BYTEARRAY
    QT_USE_QSTRINGBUILDER
    QT_DEPRECATED_WARNINGS
    # Log lines carry no source file or line (":0"), in every build type.
    QT_NO_MESSAGELOGCONTEXT)

if(MT_SANITIZE_ADDRESS)
    target_compile_options(mt_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(mt_options INTERFACE -fsanitize=address,undefined)
endif()
if(MT_SANITIZE_THREAD)
    target_compile_options(mt_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(mt_options INTERFACE -fsanitize=thread)
endif()

# mt_add_library(<name> SOURCES ... [LIBS ...])
# One static library per source folder; the folder is the include root of its users, so callers
# write #include "store/dbmanager.h".
function(mt_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC mt_options ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES AUTOUIC_SEARCH_PATHS ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
