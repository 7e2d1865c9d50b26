# Tests of the help viewer.
viewer_add_test(tst_helpviewer help/tst_helpviewer.cpp LIBS helpviewer_lib)
# The help file as the build puts it beside the program, so the test reads what users get.
target_compile_definitions(tst_helpviewer PRIVATE
    VIEWER_HELP_FILE="${VIEWER_BIN_DIR}/QUERNDAL.hlp" VIEWER_BIN_DIR="${VIEWER_BIN_DIR}")
add_dependencies(tst_helpviewer querndal_helpfile querndal-help)
