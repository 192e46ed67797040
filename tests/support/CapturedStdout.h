#pragma once

#include "runtime/LinePrinter.h"

#include <gtest/gtest.h>

#include <string>

// Captures standard output, the program's line printer included: what the
// printer still holds is written before the capture starts and before it ends.
class CapturedStdout {
public:
    CapturedStdout()
    {
        zq::LinePrinter::flush();
        testing::internal::CaptureStdout();
    }
    std::string take()
    {
        zq::LinePrinter::flush();
        return testing::internal::GetCapturedStdout();
    }
};
