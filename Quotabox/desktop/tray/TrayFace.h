#pragma once

#include <QImage>
#include <QString>

// What the tray item shows: the glyph at 1x and 2x, its text form and the spoken description.
struct TrayFace {
  QImage image;    // device pixel ratio 1
  QImage image2x;  // device pixel ratio 2
  QString label;   // e.g. "C 43% · G 12%"
  QString labelGuide;
  QString tooltip;

  bool sameImage(const TrayFace& other) const { return image == other.image && image2x == other.image2x; }
  bool operator==(const TrayFace& other) const {
    return sameImage(other) && label == other.label && labelGuide == other.labelGuide && tooltip == other.tooltip;
  }
};
