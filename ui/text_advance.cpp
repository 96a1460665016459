#include "ui/text_advance.h"

namespace velmora::ui {

TextAdvance::TextAdvance(const QFont& font) : metrics_(font) { latin1_.fill(-1); }

double TextAdvance::Advance(char16_t unit) {
  if (unit < latin1_.size()) {
    double& known = latin1_[unit];
    if (known < 0) known = metrics_.horizontalAdvance(QChar(unit));
    return known;
  }
  auto known = others_.constFind(unit);
  if (known != others_.constEnd()) return *known;
  // Half of a surrogate pair has no advance of its own: each half counts half a
  // line height, so that the pair counts about an em.
  const double advance =
      QChar::isSurrogate(unit) ? metrics_.height() / 2 : metrics_.horizontalAdvance(QChar(unit));
  others_.insert(unit, advance);
  return advance;
}

double TextAdvance::Estimate(const QString& text) {
  double width = 0;
  for (QChar c : text) width += Advance(c.unicode());
  return width;
}

}  // namespace velmora::ui
