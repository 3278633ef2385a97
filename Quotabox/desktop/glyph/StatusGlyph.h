#pragma once

#include <QImage>
#include <QString>
#include <QtGlobal>
#include <vector>

class QPainter;

#include "glyph/StatusSlot.h"
#include "settings/MenuBarStyle.h"

// The tray picture: one slot per service, Claude first, laid out in one of three styles on an
// 18-pixel-high canvas. Sizes are device-independent pixels. width() and image() measure text,
// so they need a QGuiApplication; the texts do not.
struct StatusGlyph {
  static constexpr int height = 18;

  std::vector<StatusSlot> slots;
  MenuBarStyle style = MenuBarStyle::both;

  // Width of the picture, rounded up to whole pixels. Constant for `icon` (22) and `both`; for
  // `percent` it follows the texts.
  int width() const;
  // True when a fresh value at warning or critical level is shown.
  bool needsColor() const;
  // A template glyph uses the neutral colour only, so a host may tint it.
  bool isTemplate() const { return !needsColor(); }
  // ARGB32_Premultiplied, width() x 18 times `devicePixelRatio`, with that ratio set. The neutral
  // colour is white on a dark menu bar and black on a light one; warning and critical values are
  // orange and red unless the glyph is a template.
  QImage image(bool darkMenuBar, qreal devicePixelRatio = 1.0) const;
  // For hosts that fit icons into a square slot: the icon style's bars, one per slot, stretched
  // to fill `side` x `side` pixels (clamped to 1..256), in the colours image() would use.
  QImage squareImage(bool darkMenuBar, int side) const;
  // "사용량: Claude 43퍼센트 사용, ChatGPT 로그인 필요".
  QString accessibilityText() const;
  // Text form for hosts that show a label: "C 43% · G 12%", "C – · G !", "C … · G …".
  QString textLabel() const;

  bool operator==(const StatusGlyph&) const = default;

 private:
  class Layout;
  // Draws `layout` in the colours of this glyph on a dark or light menu bar.
  void paint(QPainter& painter, const Layout& layout, bool darkMenuBar) const;
};
