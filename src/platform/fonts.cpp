#include "platform/fonts.h"

#include <QStringList>

namespace Platform {

void installFontSubstitutions()
{
    QFont::insertSubstitutions(kGothic, QStringList() << QStringLiteral("MS Gothic") << QStringLiteral("IPAGothic")
                                                      << QStringLiteral("Noto Sans Mono CJK JP")
                                                      << QStringLiteral("Noto Sans CJK JP") << QStringLiteral("Monospace"));
    QFont::insertSubstitutions(kPGothic, QStringList() << QStringLiteral("MS PGothic") << QStringLiteral("IPAPGothic")
                                                       << QStringLiteral("Noto Sans CJK JP") << QStringLiteral("Sans Serif"));
    QFont::insertSubstitutions(kArial, QStringList() << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo")
                                                     << QStringLiteral("DejaVu Sans") << QStringLiteral("Sans Serif"));
}

QFont font(const QString &family, qreal pointSize)
{
    QFont f(family);
    f.setPointSizeF(pointSize);
    return f;
}

} // namespace Platform
