#pragma once

#include <QString>
#include <optional>

// How a forecast is shown in the one-line trend row under a usage window.
struct TrendPresentation {
  // Colour family, most urgent first.
  enum class Tone { danger, caution, calm, quiet };

  Tone tone = Tone::quiet;
  QString symbol;  // a name of the views' symbol table
  QString title;
  std::optional<QString> subtitle;
  QString spoken;  // the whole sentence for assistive technology
  bool hasDetail = false;

  bool operator==(const TrendPresentation&) const = default;
};
