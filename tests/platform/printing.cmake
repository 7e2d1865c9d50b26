# Printing through a private CUPS scheduler that the test starts and stops itself; the PDFs come
# from cups-pdf and are checked with poppler's tools.
viewer_add_test(tst_printing platform/tst_printing.cpp LIBS viewer_platform TIMEOUT 120)
set_tests_properties(tst_printing PROPERTIES RESOURCE_LOCK cups_pdf_output)
