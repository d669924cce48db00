// Tests of what happens when the heap yields no block: the system refuses every new page and
// the heap fails at once instead of asking the user, so any request that needs a new region
// comes back null.
#pragma once

#include <gtest/gtest.h>

#include "npl/heap.h"
#include "npl/platform/pages.h"

class ExhaustedHeapTest : public ::testing::Test {
protected:
    /// From here to the end of the test, no new region can be had.
    void Exhaust()
    {
        nplHeapSetGlobalFlag(HeapNoPrompt);
        npl::platform::InjectPageFailures(-1);
    }
    void TearDown() override
    {
        npl::platform::InjectPageFailures(0);
        nplHeapSetGlobalFlag(0);
    }
};
