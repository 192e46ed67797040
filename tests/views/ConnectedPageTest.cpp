#include "ui/ConnectedDeviceInfoView.h"

#include "tests/views/ViewTest.h"
#include "ui/Constant.h"

namespace {

using Rect = juce::Rectangle<int>;

class ConnectedPageTest : public ViewTest {
protected:
    ConnectedDeviceInfoView page;
};

TEST_F(ConnectedPageTest, RowsInOrderWithEmptyValues)
{
    ASSERT_EQ(page.rows.size(), 3u);
    const char* titles[] = {"Serial Number", "MCU Firmware Version", "BT Version"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        auto& row = *page.rows[static_cast<size_t>(i)];
        EXPECT_EQ(row.typeLabel->getText(), juce::String(titles[i]));
        EXPECT_TRUE(row.valueLabel->getText().isEmpty());
        EXPECT_EQ(row.getParentComponent(), &page);
        EXPECT_TRUE(row.isVisible());
    }
}

TEST_F(ConnectedPageTest, RowLabelsAndButtonsLook)
{
    auto& row = *page.rows[0];
    expectLabel(*row.typeLabel, constant::EDIT_LABEL_FONT, constant::LABEL_TEXT_COLOUR, juce::Justification::centred);
    expectLabel(*row.valueLabel, constant::EDIT_TEXT_FONT, constant::NORMAL_TEXT_COLOUR, juce::Justification::centred);

    const juce::Colour white(0xffffffff);
    expectButton(*page.updateButton, "Update Firmware", constant::RED_TEXT_COLOUR, white, page.buttonLookAndFeel);
    expectButton(*page.cancelButton, "Cancel", juce::Colour(0xff505050), white, page.buttonLookAndFeel);
    EXPECT_EQ(page.updateButton->getParentComponent(), &page);
    EXPECT_EQ(page.cancelButton->getParentComponent(), &page);
}

// The last row stretches down to half the page's height when that is lower
// than its own 70 px.
TEST_F(ConnectedPageTest, LayoutAtTwoHeights)
{
    struct Case {
        int height;
        int lastRowHeight;
        int updateY;
        int cancelY;
    };
    for (const auto& c : {Case{445, 70, 296, 341}, Case{600, 140, 400, 445}, Case{300, 70, 200, 245}}) {
        SCOPED_TRACE(c.height);
        page.setBounds(0, 0, 375, c.height);
        EXPECT_EQ(page.rows[0]->getBounds(), Rect(0, 20, 375, 70));
        EXPECT_EQ(page.rows[1]->getBounds(), Rect(0, 90, 375, 70));
        EXPECT_EQ(page.rows[2]->getBounds(), Rect(0, 160, 375, c.lastRowHeight));
        EXPECT_EQ(page.updateButton->getBounds(), Rect(40, c.updateY, 295, 40));
        EXPECT_EQ(page.cancelButton->getBounds(), Rect(40, c.cancelY, 295, 40));
    }
}

TEST_F(ConnectedPageTest, RowLayoutAndSeparatorLine)
{
    DeviceInfoEditView row("Serial Number");
    row.setSize(375, 70);
    EXPECT_EQ(row.typeLabel->getBounds(), Rect(0, 0, 375, 19));
    EXPECT_EQ(row.valueLabel->getBounds(), Rect(0, 24, 375, 25));

    const auto image = paintOwnLayer(row);
    const auto line = image.getPixelAt(187, 63);
    EXPECT_EQ(line.getAlpha(), constant::SPLITTER_LINE_COLOUR.getAlpha());
    EXPECT_NEAR(line.getRed(), constant::SPLITTER_LINE_COLOUR.getRed(), 2);
    // 21 px in from both sides, one pixel high, 14 px below the value.
    EXPECT_FALSE(isClear(image, 21, 63));
    EXPECT_FALSE(isClear(image, 353, 63));
    EXPECT_TRUE(isClear(image, 20, 63));
    EXPECT_TRUE(isClear(image, 354, 63));
    EXPECT_TRUE(isClear(image, 187, 62));
    EXPECT_TRUE(isClear(image, 187, 64));
}

} // namespace
