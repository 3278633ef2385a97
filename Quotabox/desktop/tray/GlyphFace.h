#pragma once

#include "model/TimePoint.h"
#include "tray/TrayFace.h"

class AppModel;
struct StatusGlyph;

// The tray face drawn from the menu-bar glyph.
namespace GlyphFace {

// The widest text label, so hosts that reserve room for it do not jump.
inline constexpr const char* labelGuide = "C 100% · G 100%";

// The glyph at 1x and 2x in the panel's neutral colour, its text label and
// spoken description.
TrayFace make(const StatusGlyph& glyph, bool darkPanel);
// The face of the model's glyph at `now`.
TrayFace fromModel(const AppModel& model, TimePoint now, bool darkPanel);

}  // namespace GlyphFace
