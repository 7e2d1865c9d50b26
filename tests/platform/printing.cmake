# Printing through a private CUPS scheduler that the test starts and stops itself; its PDF
# printers write into the test's own folder, and the PDFs are checked with poppler's tools.
viewer_add_test(tst_printing platform/tst_printing.cpp LIBS viewer_platform TIMEOUT 120)
# The scheduler's set-up is the one the journeys use.
find_program(VIEWER_PYTHON3 python3 HINTS /usr/bin)
if(NOT VIEWER_PYTHON3)
    set(VIEWER_PYTHON3 python3) # the test then says that it cannot start the scheduler
endif()
target_compile_definitions(tst_printing PRIVATE
    VIEWER_PYTHON="${VIEWER_PYTHON3}"
    VIEWER_PRINTSYSTEM_SCRIPT="${CMAKE_SOURCE_DIR}/tests/e2e/printsystem.py")

# A scheduler that never answers: every call fails after the bounded look-up. Four calls of at
# most a few seconds each; the timeout stands far below the minutes an unbounded call waits.
viewer_add_test(tst_printfrozen platform/tst_printfrozen.cpp LIBS viewer_platform TIMEOUT 45)
