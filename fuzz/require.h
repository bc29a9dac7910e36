// A property that must hold whatever the input: when it does not, the fuzzer is told by an
// abort, with the property's text, so that it keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define VARNEL_REQUIRE(condition)                                                                  \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: required: %s\n", __FILE__, __LINE__, #condition);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
