// Entry of every test program: runs one scenario when asked to
// (see scenario.hpp), otherwise the GoogleTest cases.
#include <stdio.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "tests/support/scenario.hpp"

int wmain(int argc, wchar_t **argv)
{
    int exit_code = 0;
    if (dispatch_scenario(argc, argv, &exit_code)) {
        fflush(stdout);
        fflush(stderr);
        return exit_code;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
