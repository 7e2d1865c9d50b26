# Tests of picture loading.
viewer_add_test(tst_picture pictures/tst_picture.cpp LIBS viewer_pictures TIMEOUT 120)
viewer_add_test(tst_wmf pictures/tst_wmf.cpp LIBS viewer_pictures TIMEOUT 120)
viewer_add_test(tst_thumbnailcache pictures/tst_thumbnailcache.cpp LIBS viewer_pictures)
target_compile_definitions(tst_picture PRIVATE
    VIEWER_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/pictures/data")
target_compile_definitions(tst_wmf PRIVATE
    VIEWER_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/pictures/data")

# The fuzz targets, built with clang and run over the corpus and every input a fuzzer once found,
# then mutating from a fixed seed for VIEWER_FUZZ_SECONDS each; skipped where clang or libFuzzer
# is missing. A longer search is fuzz/run.sh with more seconds, or this variable raised.
set(VIEWER_FUZZ_SECONDS 10 CACHE STRING "Seconds each fuzz target runs in the test suite")
find_program(VIEWER_BASH bash)
if(VIEWER_BASH)
    add_test(NAME fuzz_pictures
        COMMAND ${VIEWER_BASH} ${CMAKE_SOURCE_DIR}/fuzz/run.sh ${CMAKE_BINARY_DIR}/fuzz-check
                ${VIEWER_FUZZ_SECONDS})
    set_tests_properties(fuzz_pictures PROPERTIES
        TIMEOUT 900
        SKIP_RETURN_CODE 77
        ENVIRONMENT "VIEWER_CORPUS_DIR=${VIEWER_CORPUS_DIR};FUZZ_SEED=1")
endif()
