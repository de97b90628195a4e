// A test main for the byte scans that have a 32-byte loop beside their 16-byte one: every test
// runs twice, first as the processor allows, then held to the 16-byte loop, so that a machine
// with wide vectors still checks the narrow loop that others take.
#pragma once

#include <QtTest>

#include "engine/core/wide_vectors.h"

#define QUILLMARK_TEST_MAIN_BOTH_VECTOR_WIDTHS(TestClass) \
    int main(int argc, char** argv) {                     \
        TestClass wide;                                   \
        int failures = QTest::qExec(&wide, argc, argv);   \
        quillmark::engine::allowWideVectors(false);       \
        TestClass narrow;                                 \
        failures += QTest::qExec(&narrow, argc, argv);    \
        quillmark::engine::allowWideVectors(true);        \
        return failures;                                  \
    }
