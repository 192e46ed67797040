#pragma once

#include <cstdint>

namespace zq {

// The two operation bytes (4 and 5) of a command frame.
template <std::uint8_t Op1, std::uint8_t Op2>
struct SessionOperationCode {
    std::uint8_t op1 = Op1;
    std::uint8_t op2 = Op2;
};

} // namespace zq
