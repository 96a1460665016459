// A quick estimate of how wide a text is drawn: the sum of its characters'
// advances, without shaping. Kerning and ligatures make the drawn width differ by
// a few per cent at most, so the estimate orders texts by width well enough to
// pick the few that are worth laying out exactly.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>
#include <array>

namespace velmora::ui {

class TextAdvance {
 public:
  explicit TextAdvance(const QFont& font);
  double Estimate(const QString& text);

 private:
  double Advance(char16_t unit);

  QFontMetricsF metrics_;
  std::array<double, 256> latin1_;  // < 0: not looked up yet
  QHash<char16_t, double> others_;
};

}  // namespace velmora::ui
