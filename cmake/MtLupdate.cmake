# Runs lupdate over the sources into the three .ts files of TS_DIR, the same way for the lupdate
# target (TS_DIR is resources/translations) and for the translation check (a temporary copy,
# KEEP_VANISHED so that texts gone from the sources show up instead of being dropped).
#   cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<top> -DTS_DIR=<dir> -DCODE_DIRS=a,b
#         -DSTORE_DIRS=store [-DKEEP_VANISHED=ON] -P MtLupdate.cmake
foreach(var LUPDATE SOURCE_DIR TS_DIR CODE_DIRS STORE_DIRS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "MtLupdate.cmake: ${var} is not set")
    endif()
endforeach()
set(_obsolete -no-obsolete)
if(KEEP_VANISHED)
    set(_obsolete)
endif()
string(REPLACE "," ";" CODE_DIRS "${CODE_DIRS}")
string(REPLACE "," ";" STORE_DIRS "${STORE_DIRS}")
list(TRANSFORM CODE_DIRS PREPEND ${SOURCE_DIR}/ OUTPUT_VARIABLE _code)
list(TRANSFORM STORE_DIRS PREPEND ${SOURCE_DIR}/ OUTPUT_VARIABLE _store)
# Store texts go to db_ko, form texts to ui_ko, everything else to lang_ko.
foreach(run "cpp,h;${_code};lang_ko" "ui;${_code};ui_ko" "cpp,h;${_store};db_ko")
    list(POP_FRONT run _ext)
    list(POP_BACK run _ts)
    execute_process(
        COMMAND ${LUPDATE} -silent ${_obsolete} -locations none -extensions ${_ext} ${run}
                -ts ${TS_DIR}/${_ts}.ts
        WORKING_DIRECTORY ${SOURCE_DIR}
        RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
        message(FATAL_ERROR "lupdate failed (${_result}) for ${_ts}.ts")
    endif()
endforeach()
