#include "tray/GlyphFace.h"

#include "glyph/MenuBarLabel.h"
#include "glyph/StatusGlyph.h"

namespace GlyphFace {

TrayFace make(const StatusGlyph& glyph, bool darkPanel) {
  TrayFace face;
  // Hosts do not tint tray icons, so even a template glyph is drawn in the
  // panel's neutral colour.
  face.image = glyph.image(darkPanel, 1);
  face.image2x = glyph.image(darkPanel, 2);
  for (const int side : squareSizes) face.squareImages.push_back(glyph.squareImage(darkPanel, side));
  face.label = glyph.textLabel();
  face.labelGuide = QString::fromUtf8(labelGuide);
  face.tooltip = glyph.accessibilityText();
  return face;
}

TrayFace fromModel(const AppModel& model, TimePoint now, bool darkPanel) {
  return make(MenuBarLabel::glyph(model, now), darkPanel);
}

}  // namespace GlyphFace
