#include <gtest/gtest.h>

#include "tray/GlyphFace.h"
#include "tray/StatusGlyph.h"

namespace {

StatusSlot slot(ServiceID service, StatusSlot::Kind kind) { return {service, kind}; }

}  // namespace

TEST(GlyphFaceTest, CarriesTheGlyphAtItsRealWidthInThePanelsNeutralColour) {
  const StatusGlyph glyph{{slot(ServiceID::claude, StatusSlot::Kind::value(43, UsageLevel::normal, false)),
                           slot(ServiceID::codex, StatusSlot::Kind::signedOut())},
                          MenuBarStyle::icon};
  const TrayFace dark = GlyphFace::make(glyph, true);
  EXPECT_EQ(dark.image.size(), QSize(22, 18));
  EXPECT_EQ(dark.image2x.size(), QSize(44, 36));
  EXPECT_EQ(dark.label, glyph.textLabel());
  EXPECT_EQ(dark.tooltip, glyph.accessibilityText());
  EXPECT_EQ(dark.labelGuide, QStringLiteral("C 100% · G 100%"));

  // A template glyph is still drawn in the panel's colour: hosts do not tint tray icons.
  const QColor onDark = dark.image.pixelColor(1, 4);
  const QColor onLight = GlyphFace::make(glyph, false).image.pixelColor(1, 4);
  EXPECT_GT(onDark.lightness(), 200);
  EXPECT_LT(onLight.lightness(), 60);
  EXPECT_GT(onDark.alpha(), 200);
}
