# Leaks are reported (LeakSanitizer) in every AddressSanitizer run, the tests' and the fuzzers',
# apart from the third-party ones listed with their reasons in tests/lsan.supp.
set(MT_ASAN_TEST_ENV
    "ASAN_OPTIONS=detect_leaks=1"
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# The Qt headers every test reads, compiled once for all of them: most of a test program's
# compile time went into reading them again in each one. A program reuses the header only with
# the same Qt definitions, so every test links the same Qt modules.
set(MT_TEST_QT_MODULES Qt5::Core Qt5::Gui Qt5::Widgets Qt5::Network Qt5::Sql Qt5::Multimedia
    Qt5::Test)
file(WRITE ${CMAKE_BINARY_DIR}/mt_testpch.cpp "// The tests' precompiled Qt headers.\n")
add_library(mt_testpch STATIC ${CMAKE_BINARY_DIR}/mt_testpch.cpp)
set_target_properties(mt_testpch PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
target_link_libraries(mt_testpch PRIVATE mt_options ${MT_TEST_QT_MODULES})
target_precompile_headers(mt_testpch PRIVATE <QtCore> <QtGui> <QtWidgets> <QtNetwork> <QtSql>
    <QtTest>)

# mt_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [ENV k=v ...])
# One Qt Test executable per module, registered with CTest. Widgets run on the offscreen
# platform unless the test sets its own environment.
function(mt_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE mt_options mt_testsupport ${MT_TEST_QT_MODULES}
        ${ARG_LIBS})
    target_precompile_headers(${name} REUSE_FROM mt_testpch)
    # Mostly empty: loading the headers would cost it a second for nothing.
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
        PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set(_env QT_QPA_PLATFORM=offscreen MT_SOURCE_DIR=${PROJECT_SOURCE_DIR}
             MT_BINARY_DIR=${PROJECT_BINARY_DIR} ${ARG_ENV})
    if(MT_SANITIZE_THREAD)
        list(APPEND _env "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp second_deadlock_stack=1")
    endif()
    if(MT_SANITIZE_ADDRESS)
        list(APPEND _env ${MT_ASAN_TEST_ENV})
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${_env}" LABELS "${ARG_LABELS}")
    # The whole-program suites run longest: on a tree that has not run its tests yet (CTest has
    # no times of its own then) they start first, not last and alone at the end.
    if("scenario" IN_LIST ARG_LABELS)
        set_tests_properties(${name} PROPERTIES COST 1000)
    endif()
endfunction()

# A libFuzzer target and its test `<name>_run`. The code under test is compiled into the fuzzer
# (SOURCES) so that libFuzzer sees its coverage. New inputs go to the build tree's corpus (the
# first folder), not to the committed seeds in the source folder's corpus. ENV replaces the
# sanitizers' usual settings.
function(mt_add_fuzzer name)
    cmake_parse_arguments(ARG "" "MAX_LEN" "SOURCES;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE
        -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE mt_options Qt5::Core)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus)
    add_test(NAME ${name}_run
        COMMAND ${name} -runs=200000 -seed=1 -max_len=${ARG_MAX_LEN}
            -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/
            ${CMAKE_CURRENT_BINARY_DIR}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
    if(NOT ARG_ENV)
        set(ARG_ENV ${MT_ASAN_TEST_ENV})
    endif()
    set_tests_properties(${name}_run PROPERTIES LABELS fuzz TIMEOUT 600 ENVIRONMENT "${ARG_ENV}")
endfunction()
