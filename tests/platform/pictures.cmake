# Tests of picture loading.
