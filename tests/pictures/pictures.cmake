# Tests of picture loading.
viewer_add_test(tst_picture pictures/tst_picture.cpp LIBS viewer_pictures TIMEOUT 120)
viewer_add_test(tst_wmf pictures/tst_wmf.cpp LIBS viewer_pictures TIMEOUT 120)
target_compile_definitions(tst_picture PRIVATE
    VIEWER_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/pictures/data")
target_compile_definitions(tst_wmf PRIVATE
    VIEWER_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/pictures/data")

# The fuzz targets, built with clang and run for a minute each over the corpus; skipped where
# clang or libFuzzer is missing.
find_program(VIEWER_BASH bash)
if(VIEWER_BASH)
    add_test(NAME fuzz_pictures
        COMMAND ${VIEWER_BASH} ${CMAKE_SOURCE_DIR}/fuzz/run.sh ${CMAKE_BINARY_DIR}/fuzz-check 60)
    set_tests_properties(fuzz_pictures PROPERTIES
        TIMEOUT 900
        SKIP_RETURN_CODE 77
        ENVIRONMENT "VIEWER_CORPUS_DIR=${VIEWER_CORPUS_DIR};FUZZ_SEED=1")
endif()
