// Tests of 8-bit texts in code page 932, the code page of the systems the product is made for.
// Linux hosts start in UTF-8 and are switched for the test; Windows programs under Wine already
// run in 932 (the locale of the test runner).
#pragma once

#include <gtest/gtest.h>

#include "npl/platform/code_page.h"

class ShiftJisCodePageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = npl::platform::GetAnsiCodePage();
        if (!npl::platform::SetAnsiCodePage(npl::platform::kCodePageShiftJis))
            GTEST_SKIP() << "the process code page cannot be 932";
    }
    void TearDown() override { npl::platform::SetAnsiCodePage(previous_); }

private:
    unsigned previous_ = 0;
};
