// Draws the window's stand-in pictures and writes them as PNG (8 bits per
// channel with alpha, transparent surroundings), plus a header with their
// byte lengths. Needs no display; the same inputs always give the same bytes.
//
//   kovra_make_pictures OUTPUT_DIR SIZES_HEADER ROBOTO_BOLD_TTF
#include <juce_graphics/juce_graphics.h>

#include <cstdio>

namespace {

using juce::Colour;
using juce::Graphics;
using juce::Path;
using juce::Rectangle;

const Colour kGold{0xFFB1955C};
const Colour kWhite{0xFFFFFFFF};
const Colour kCabinet{0xFF1B1B1D};

juce::Font gLetterFont; // set in main from the Roboto Bold file

// A 48 x 48 badge: a white disc filling the square, the mark drawn over it.
juce::Image badge(Colour markColour, void (*drawMark)(Graphics&))
{
    juce::Image image{juce::Image::ARGB, 48, 48, true};
    Graphics g{image};
    g.setColour(kWhite);
    g.fillEllipse(0.0f, 0.0f, 48.0f, 48.0f);
    g.setColour(markColour);
    drawMark(g);
    return image;
}

juce::Image errorBadge()
{
    return badge(Colour{0xFFE02020}, [](Graphics& g) {
        g.fillRoundedRectangle(21.0f, 9.0f, 6.0f, 21.0f, 3.0f);
        g.fillEllipse(20.5f, 33.0f, 7.0f, 7.0f);
    });
}

juce::Image successBadge()
{
    return badge(Colour{0xFF00B259}, [](Graphics& g) {
        Path tick;
        tick.startNewSubPath(13.0f, 25.0f);
        tick.lineTo(21.0f, 33.0f);
        tick.lineTo(35.0f, 16.0f);
        g.strokePath(tick, juce::PathStrokeType{5.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded});
    });
}

juce::Image updateBadge()
{
    return badge(Colour{0xFF101010}, [](Graphics& g) {
        Path arrow;
        arrow.startNewSubPath(24.0f, 37.0f);
        arrow.lineTo(24.0f, 12.0f);
        arrow.startNewSubPath(14.0f, 22.0f);
        arrow.lineTo(24.0f, 12.0f);
        arrow.lineTo(34.0f, 22.0f);
        g.strokePath(arrow, juce::PathStrokeType{5.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded});
    });
}

// A round brushed-metal knob: a radial sheen and a few fine rings.
void drawKnob(Graphics& g, juce::Point<float> centre, float radius)
{
    const auto area = Rectangle<float>{radius * 2.0f, radius * 2.0f}.withCentre(centre);
    g.setGradientFill(juce::ColourGradient{Colour{0xFFE8E8E8}, centre.translated(-radius * 0.4f, -radius * 0.4f),
                                           Colour{0xFF6E6E70}, centre.translated(radius, radius), true});
    g.fillEllipse(area);
    g.setColour(Colour{0x30000000});
    for (float r = radius * 0.3f; r < radius; r += radius * 0.14f)
        g.drawEllipse(Rectangle<float>{r * 2.0f, r * 2.0f}.withCentre(centre), 0.6f);
    g.setColour(Colour{0xFF3A3A3C});
    g.drawEllipse(area, 1.5f);
}

void drawLabel(Graphics& g, const juce::String& text, Rectangle<float> area)
{
    g.setColour(kGold);
    g.setFont(gLetterFont.withHeight(area.getHeight()));
    g.drawText(text, area, juce::Justification::centred, false);
}

// The amplifier from the front: cabinet, control strip with the maker's
// badge, woven grille.
void drawAmplifier(Graphics& g, Rectangle<float> area)
{
    const float corner = area.getWidth() * 0.05f;
    g.setColour(kCabinet);
    g.fillRoundedRectangle(area, corner);

    auto inner = area.reduced(area.getWidth() * 0.05f);
    auto strip = inner.removeFromTop(inner.getHeight() * 0.16f);
    g.setColour(Colour{0xFF2C2C2F});
    g.fillRoundedRectangle(strip, corner * 0.5f);
    const float knobRadius = strip.getHeight() * 0.28f;
    for (int i = 0; i < 4; ++i)
        drawKnob(g, {strip.getX() + strip.getWidth() * (0.12f + 0.13f * static_cast<float>(i)), strip.getCentreY()},
                 knobRadius);
    g.setColour(Colour{0xFFCFCFCF});
    for (int i = 0; i < 5; ++i)
        g.fillEllipse(Rectangle<float>{4.0f, 4.0f}.withCentre(
            {strip.getX() + strip.getWidth() * (0.66f + 0.06f * static_cast<float>(i)), strip.getCentreY()}));

    inner.removeFromTop(inner.getHeight() * 0.04f);
    g.setColour(Colour{0xFF111112});
    g.fillRoundedRectangle(inner, corner * 0.5f);
    {
        Graphics::ScopedSaveState saved{g};
        g.reduceClipRegion(inner.toNearestInt());
        g.setColour(Colour{0xFF303034});
        const float step = 4.0f;
        const float span = inner.getWidth() + inner.getHeight();
        for (float d = -inner.getHeight(); d < span; d += step) {
            g.drawLine(inner.getX() + d, inner.getY(), inner.getX() + d + inner.getHeight(), inner.getBottom(), 1.0f);
            g.drawLine(inner.getX() + d, inner.getBottom(), inner.getX() + d + inner.getHeight(), inner.getY(), 1.0f);
        }
    }
    const auto badge = Rectangle<float>{inner.getWidth() * 0.3f, inner.getHeight() * 0.08f}.withCentre(
        {inner.getCentreX(), inner.getBottom() - inner.getHeight() * 0.12f});
    g.setColour(kGold);
    g.fillRoundedRectangle(badge, 2.0f);
    g.setColour(kCabinet);
    g.setFont(gLetterFont.withHeight(badge.getHeight() * 0.8f));
    g.drawText("KOVRA", badge, juce::Justification::centred, false);
}

// Lets the lower part of the picture fade out towards the bottom edge.
void fadeTowardsBottom(juce::Image& image, int fromRow)
{
    juce::Image::BitmapData pixels{image, juce::Image::BitmapData::readWrite};
    const int height = image.getHeight();
    for (int y = fromRow; y < height; ++y) {
        const float keep = 1.0f - static_cast<float>(y - fromRow) / static_cast<float>(height - fromRow);
        for (int x = 0; x < image.getWidth(); ++x)
            pixels.setPixelColour(x, y, pixels.getPixelColour(x, y).withMultipliedAlpha(keep));
    }
}

juce::Image connectPicture()
{
    juce::Image image{juce::Image::ARGB, 342, 552, true};
    {
        Graphics g{image};
        drawLabel(g, "POWER", {20.0f, 18.0f, 110.0f, 26.0f});
        drawKnob(g, {75.0f, 92.0f}, 34.0f);
        g.setColour(kWhite);
        g.drawLine(75.0f, 128.0f, 75.0f, 262.0f, 1.5f);

        // USB-A plug, its cable curving down into the amplifier's right side.
        g.setColour(kWhite);
        g.fillRoundedRectangle(262.0f, 26.0f, 30.0f, 58.0f, 4.0f);
        g.setColour(Colour{0xFFB8B8B8});
        g.fillRect(268.0f, 8.0f, 18.0f, 20.0f);
        Path cable;
        cable.startNewSubPath(277.0f, 84.0f);
        cable.cubicTo(277.0f, 180.0f, 330.0f, 220.0f, 318.0f, 330.0f);
        g.setColour(kWhite);
        g.strokePath(cable, juce::PathStrokeType{6.0f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded});

        drawAmplifier(g, {24.0f, 262.0f, 294.0f, 280.0f});
    }
    fadeTowardsBottom(image, 420);
    return image;
}

juce::Image promptPicture()
{
    juce::Image image{juce::Image::ARGB, 290, 552, true};
    {
        Graphics g{image};
        drawLabel(g, "PAIR", {30.0f, 18.0f, 100.0f, 26.0f});
        drawLabel(g, "POWER", {160.0f, 18.0f, 100.0f, 26.0f});
        drawKnob(g, {80.0f, 92.0f}, 32.0f);
        drawKnob(g, {210.0f, 92.0f}, 32.0f);

        // A bracket joining the two, with a plus in its middle.
        Path bracket;
        bracket.startNewSubPath(80.0f, 136.0f);
        bracket.lineTo(80.0f, 156.0f);
        bracket.lineTo(210.0f, 156.0f);
        bracket.lineTo(210.0f, 136.0f);
        g.setColour(kWhite);
        g.strokePath(bracket, juce::PathStrokeType{2.0f});
        g.fillRect(139.0f, 170.0f, 12.0f, 36.0f);
        g.fillRect(127.0f, 182.0f, 36.0f, 12.0f);

        drawAmplifier(g, {20.0f, 262.0f, 250.0f, 280.0f});
    }
    fadeTowardsBottom(image, 420);
    return image;
}

juce::Image installerPicture()
{
    juce::Image image{juce::Image::ARGB, 238, 278, true};
    Graphics g{image};

    // A hard-disk drive seen from above at an angle: top face and front edge.
    Path top;
    top.startNewSubPath(20.0f, 190.0f);
    top.lineTo(120.0f, 150.0f);
    top.lineTo(218.0f, 190.0f);
    top.lineTo(118.0f, 230.0f);
    top.closeSubPath();
    Path front;
    front.startNewSubPath(20.0f, 190.0f);
    front.lineTo(118.0f, 230.0f);
    front.lineTo(218.0f, 190.0f);
    front.lineTo(218.0f, 212.0f);
    front.lineTo(118.0f, 252.0f);
    front.lineTo(20.0f, 212.0f);
    front.closeSubPath();
    g.setColour(Colour{0xFF7E7F83});
    g.fillPath(front);
    g.setGradientFill(
        juce::ColourGradient{Colour{0xFFD4D5D8}, 20.0f, 150.0f, Colour{0xFF9A9BA0}, 218.0f, 230.0f, false});
    g.fillPath(top);
    g.setColour(Colour{0xFF5A5B5F});
    g.strokePath(top, juce::PathStrokeType{1.5f});
    g.setColour(Colour{0xFF3B3C40});
    g.fillEllipse(160.0f, 216.0f, 6.0f, 4.0f);

    // A large dark arrow pointing down into it.
    Path arrow;
    arrow.startNewSubPath(98.0f, 20.0f);
    arrow.lineTo(140.0f, 20.0f);
    arrow.lineTo(140.0f, 110.0f);
    arrow.lineTo(172.0f, 110.0f);
    arrow.lineTo(119.0f, 178.0f);
    arrow.lineTo(66.0f, 110.0f);
    arrow.lineTo(98.0f, 110.0f);
    arrow.closeSubPath();
    g.setColour(Colour{0xFF26272B});
    g.fillPath(arrow);
    return image;
}

juce::Image amplifierPicture()
{
    juce::Image image{juce::Image::ARGB, 238, 278, true};
    Graphics g{image};
    drawAmplifier(g, {6.0f, 6.0f, 226.0f, 266.0f});
    return image;
}

struct Picture {
    const char* array;
    const char* file;
    juce::Image (*draw)();
};

const Picture kPictures[] = {
    {"temp_binary_data_0", "error_badge.png", errorBadge},
    {"temp_binary_data_1", "success_badge.png", successBadge},
    {"temp_binary_data_2", "update_badge.png", updateBadge},
    {"temp_binary_data_3", "connect.png", connectPicture},
    {"temp_binary_data_4", "prompt.png", promptPicture},
    {"temp_binary_data_5", "installer.png", installerPicture},
    {"temp_binary_data_13", "amplifier.png", amplifierPicture},
};

bool writePng(const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out{file};
    juce::PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream(image, out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR SIZES_HEADER ROBOTO_BOLD_TTF\n", argv[0]);
        return 2;
    }
    const juce::File outputDir{juce::String{argv[1]}};
    const juce::File header{juce::String{argv[2]}};
    juce::MemoryBlock fontData;
    if (!juce::File{juce::String{argv[3]}}.loadFileAsData(fontData)) {
        std::fprintf(stderr, "cannot read %s\n", argv[3]);
        return 1;
    }
    gLetterFont = juce::Font{juce::Typeface::createSystemTypefaceFor(fontData.getData(), fontData.getSize())};

    outputDir.createDirectory();
    juce::String sizes = "// Generated by kovra_make_pictures; the used length of each picture.\n"
                         "#pragma once\n\nnamespace BinaryData {\n";
    for (const auto& picture : kPictures) {
        const auto file = outputDir.getChildFile(picture.file);
        if (!writePng(picture.draw(), file)) {
            std::fprintf(stderr, "cannot write %s\n", file.getFullPathName().toRawUTF8());
            return 1;
        }
        sizes << "const int " << picture.array << "Size = " << juce::String(file.getSize()) << "; // " << picture.file
              << "\n";
    }
    sizes << "} // namespace BinaryData\n";
    header.getParentDirectory().createDirectory();
    if (!header.replaceWithText(sizes)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
