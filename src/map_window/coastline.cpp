#include "map_window/coastline.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace Map {

struct Coastline::Data {
    QString error = QStringLiteral("the coastline is not installed");
};

Coastline::Coastline() : d(std::make_unique<Data>()) {}
Coastline::~Coastline() = default;

bool Coastline::open(const QString &path)
{
    d->error = QStringLiteral("cannot read the coastline file %1").arg(path);
    return false;
}

bool Coastline::isOpen() const
{
    return false;
}

QString Coastline::error() const
{
    return d->error;
}

void Coastline::draw(QPainter &, const Viewport &) {}

qint64 Coastline::loadedBytes() const
{
    return 0;
}

QString Coastline::defaultPath()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &candidate : {dir + QStringLiteral("/coastline.bin"),
                                     dir + QStringLiteral("/../share/velkais-log-browser/coastline.bin")}) {
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

} // namespace Map
