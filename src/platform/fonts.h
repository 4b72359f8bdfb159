#pragma once

#include <QFont>
#include <QString>

namespace Platform {

// The Windows faces the windows ask for ("ＭＳ ゴシック", "ＭＳ Ｐゴシック", Arial)
// are rarely installed elsewhere; this maps them onto installed faces that have
// the Japanese glyphs of the tooltips and the message box. Call once after the
// QApplication exists.
void installFontSubstitutions();

// A font of `family` at `pointSize`, with the substitutions above applying.
QFont font(const QString &family, qreal pointSize);

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kArial = QStringLiteral("Arial");

} // namespace Platform
