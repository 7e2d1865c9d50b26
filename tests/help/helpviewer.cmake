# Tests of the help viewer.
