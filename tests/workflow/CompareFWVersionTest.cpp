#include "states/ConnectedAppState.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace {

struct Comparison {
    const char* lhs;
    const char* rhs;
    int expected;
};

std::ostream& operator<<(std::ostream& out, const Comparison& c)
{
    return out << '"' << c.lhs << "\" vs \"" << c.rhs << '"';
}

class CompareFWVersionTest : public ::testing::TestWithParam<Comparison> {};

TEST_P(CompareFWVersionTest, Compares)
{
    const Comparison& c = GetParam();
    EXPECT_EQ(CompareFWVersion(c.lhs, c.rhs), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, CompareFWVersionTest,
    ::testing::Values(Comparison{"1.11.2.75", "1.11.2.75", 0}, Comparison{"1.10.9.99", "1.11.2.75", -1},
                      Comparison{"1.12", "1.11.2.75", 1}, Comparison{"1.11.2.75.3", "1.11.2.75", -72},
                      Comparison{"1.2", "1", 1}, Comparison{"0105", "0107", -2}, Comparison{"0107", "0105", 2},
                      // numbers, not texts: 9 is older than 10
                      Comparison{"1.9.0.0", "1.10.0.0", -1}, Comparison{"1.11.2.76", "1.11.2.75", 1},
                      // rhs components beyond lhs's are never looked at
                      Comparison{"1.11", "1.11.2.75", 0},
                      // read as std::stoi does: blanks, a sign, digits up to the first other character
                      Comparison{" 7.+3", "7.3", 0}, Comparison{"12abc", "10", 2}));

INSTANTIATE_TEST_SUITE_P(EmptyTexts, CompareFWVersionTest,
                         ::testing::Values(Comparison{"", "1.11.2.75", -1}, Comparison{"0107", "", -1},
                                           Comparison{"", "", -1}));

// A component that is not a number, or too large for an int, compares as
// older, as an empty text does; the same text on both sides is equal.
INSTANTIATE_TEST_SUITE_P(Unreadable, CompareFWVersionTest,
                         ::testing::Values(Comparison{"abcd", "0107", -1}, Comparison{"0107", "abcd", -1},
                                           Comparison{"abcd", "abcd", 0}, Comparison{"1.x.2", "1.x.2", 0},
                                           Comparison{"1..2", "1.1.2", -1}, Comparison{"1.", "1.0", -1},
                                           Comparison{"-", "0", -1}, Comparison{"99999999999", "0107", -1},
                                           Comparison{"1.11.2.75", "1.99999999999", -1}));

// The difference of two ints is computed without overflow and kept in range.
INSTANTIATE_TEST_SUITE_P(Extremes, CompareFWVersionTest,
                         ::testing::Values(Comparison{"2147483647", "-2147483648", INT_MAX},
                                           Comparison{"-2147483648", "2147483647", INT_MIN},
                                           Comparison{"1.2147483647", "1.-5", INT_MAX}));

} // namespace
