#include "resources/BinaryData.h"
#include "states/KovraTikoFwUpdatingAppState.h"
#include "states/PythonInstallingAppState.h"
#include "states/StateLifetime.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

namespace {

// Whether a watch hands out its window, which a worker could then read and
// write off the message thread.
template <typename Watch, typename = void>
struct HandsOutTheWindow : std::false_type {
};
template <typename Watch>
struct HandsOutTheWindow<Watch, std::void_t<decltype(std::declval<const Watch&>().main())>> : std::true_type {
};

TEST(StateWatch, OffersPostingAlone) { EXPECT_FALSE(HandsOutTheWindow<StateLifetime::Watch>::value); }

struct ImageCase {
    int hardwareType;
    const char* serialNumber;
    bool standard;
};

class McuImageChoice : public ::testing::TestWithParam<ImageCase> {};

TEST_P(McuImageChoice, PicksByHardwareTypeElseBySerialNumber)
{
    const ImageCase& c = GetParam();
    const McuImage image = mcuImageFor(c.hardwareType, juce::String::fromUTF8(c.serialNumber));
    if (c.standard) {
        EXPECT_EQ(image.data, BinaryData::Checksumed_kovra_10_speaker_bin);
        EXPECT_EQ(image.size, 743249);
    } else {
        EXPECT_EQ(image.data, BinaryData::Checksumed_kovra_10_speaker_GD32_bin);
        EXPECT_EQ(image.size, 743266);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, McuImageChoice,
                         ::testing::Values(ImageCase{20, "KT10A2200001", true}, // type wins over serial
                                           ImageCase{20, "", true}, ImageCase{22, "KT10A2100001", false},
                                           ImageCase{0, "KT10A2", false},                             // six characters
                                           ImageCase{0, "", false}, ImageCase{0, "KT10A21000", true}, // 7th is '1'
                                           ImageCase{0, "KT10A22000", false}, ImageCase{21, "KT10A21000", true},
                                           ImageCase{0, "KT10A2x", false},
                                           // Counted in characters, not bytes: the 7th is '1'.
                                           ImageCase{0,
                                                     "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                                     "1",
                                                     true},
                                           ImageCase{0, "KT10A2\xC2\xB9", false})); // superscript one

TEST(AmplifierWaitBudget, WhatIsLeftOfTheWindowElseOneLook)
{
    struct Case {
        std::uint32_t elapsed;
        std::uint32_t budget;
        std::uint32_t looksBound; // budget / 4000
    };
    const Case cases[] = {
        {0, 65000, 16},
        {10000, 55000, 13},
        {63000, 2000, 0},
        {64999, 1, 0},
        {65000, 0, 0},
        {65001, 4000, 1},
        {70000, 4000, 1},
        // The check time lies "after" now once the counter wrapped: a huge
        // difference, so one look.
        {0xFFFFFFFFu, 4000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elapsed);
        EXPECT_EQ(amplifierWaitBudgetMs(c.elapsed), c.budget);
        EXPECT_EQ(amplifierWaitBudgetMs(c.elapsed) / 4000, c.looksBound);
    }
    // The difference itself is taken modulo 2^32: a check 100 ms before the
    // counter wrapped, looked at 900 ms after.
    const std::uint32_t checkedAt = 0xFFFFFFFFu - 99;
    const std::uint32_t now = 900;
    EXPECT_EQ(amplifierWaitBudgetMs(now - checkedAt), 64000u);
}

} // namespace
