#include "resources/BinaryData.h"
#include "ui/Constant.h"

#include <gtest/gtest.h>

#include <cstdlib>

// The window's fonts with the machine's own fonts out of sight: this process
// lets JUCE look for installed fonts only in a folder that cannot exist, so
// a face looked up by name has no glyphs, and only a face made from the
// embedded bytes draws.
namespace {

struct FontCase {
    const char* name;
    const juce::Font& font;
    const char* data; // the embedded face it is made from
    int size;
    const char* style;
    float height;
};

// The glyph outlines of a few letters, as text, at the face's own size.
juce::String outlines(const juce::Typeface::Ptr& face)
{
    juce::Array<int> glyphs;
    juce::Array<float> offsets;
    face->getGlyphPositions("Kovra TIKO 1.11", glyphs, offsets);
    juce::String text;
    for (const int glyph : glyphs) {
        juce::Path outline;
        face->getOutlineForGlyph(glyph, outline);
        text << outline.toString() << "|";
    }
    return text;
}

TEST(ConstantFonts, FaceStyleAndHeight)
{
    const FontCase cases[] = {
        {"DEFAULT_TITLE_FONT", constant::DEFAULT_TITLE_FONT, BinaryData::temp_binary_data_11,
         BinaryData::temp_binary_data_11Size, "Medium", 30.0f},
        {"DEFAULT_TEXT_FONT", constant::DEFAULT_TEXT_FONT, BinaryData::temp_binary_data_11,
         BinaryData::temp_binary_data_11Size, "Medium", 14.0f},
        {"EDIT_TEXT_FONT", constant::EDIT_TEXT_FONT, BinaryData::temp_binary_data_12,
         BinaryData::temp_binary_data_12Size, "Regular", 16.0f},
        {"EDIT_LABEL_FONT", constant::EDIT_LABEL_FONT, BinaryData::temp_binary_data_10,
         BinaryData::temp_binary_data_10Size, "Bold", 14.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.font.getTypefaceName(), "Roboto") << c.name;
        EXPECT_EQ(c.font.getTypefaceStyle(), c.style) << c.name;
        EXPECT_FLOAT_EQ(c.font.getHeight(), c.height) << c.name;
        EXPECT_FALSE(c.font.isUnderlined()) << c.name;
        EXPECT_FLOAT_EQ(c.font.getHorizontalScale(), 1.0f) << c.name;
        EXPECT_FLOAT_EQ(c.font.getExtraKerningFactor(), 0.0f) << c.name;
        // The glyphs of a face made here from the same embedded bytes.
        const auto embedded = juce::Typeface::createSystemTypefaceFor(c.data, static_cast<size_t>(c.size));
        const juce::String expected = outlines(embedded);
        ASSERT_TRUE(expected.contains("z")) << c.name; // closed outlines, not empty ones
        EXPECT_EQ(outlines(c.font.getTypefacePtr()), expected) << c.name;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Read once, when JUCE first lists the installed fonts.
    ::setenv("JUCE_FONT_PATH", "/dev/null/no-fonts", 1);
    ::testing::InitGoogleTest(&argc, argv);
    // Shut down at the end, so that the font caches go before the statics.
    const juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
