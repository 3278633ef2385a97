#pragma once

#include "model/TimePoint.h"
#include "tray/TrayFace.h"

class AppModel;
struct StatusGlyph;

// The tray face drawn from the menu-bar glyph.
namespace GlyphFace {

// The widest text label, so hosts that reserve room for it do not jump.
inline constexpr const char* labelGuide = "C 100% · G 100%";

// Slot sizes of square hosts: 16 to 24 on panels at 1x, up to 64 at 2x and in large panels.
inline constexpr int squareSizes[] = {16, 22, 24, 32, 48, 64};

// The glyph at 1x and 2x and its square form at each slot size, in the panel's neutral colour;
// its text label and spoken description.
TrayFace make(const StatusGlyph& glyph, bool darkPanel);
// The face of the model's glyph at `now`.
TrayFace fromModel(const AppModel& model, TimePoint now, bool darkPanel);

}  // namespace GlyphFace
