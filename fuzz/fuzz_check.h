// The fuzz targets' own checks: a broken property aborts like a sanitizer finding, naming itself.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
            abort();                                                                           \
        }                                                                                      \
    } while (0)
