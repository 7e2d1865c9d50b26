# Printing through a private CUPS scheduler that the test starts and stops itself; the PDFs come
# from cups-pdf and are checked with poppler's tools.
viewer_add_test(tst_printing platform/tst_printing.cpp LIBS viewer_platform TIMEOUT 120)
set_tests_properties(tst_printing PROPERTIES RESOURCE_LOCK cups_pdf_output)

# A scheduler that never answers: every call fails after the bounded look-up. Four calls of at
# most a few seconds each; the timeout stands far below the minutes an unbounded call waits.
viewer_add_test(tst_printfrozen platform/tst_printfrozen.cpp LIBS viewer_platform TIMEOUT 45)
