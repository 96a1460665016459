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
  // Most texts are Latin-1 and their characters' advances are known after the
  // first few rows: those are added here without a call.
  double width = 0;
  for (QChar c : text) {
    const char16_t unit = c.unicode();
    const double known = unit < latin1_.size() ? latin1_[unit] : -1;
    width += known >= 0 ? known : Advance(unit);
  }
  return width;
}

}  // namespace velmora::ui
