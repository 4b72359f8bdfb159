#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Tests of files and folders the user may not read or write. Windows has no
// such permission bits (QFile::setPermissions only sets the read-only
// attribute), so there they mean nothing.
#ifdef Q_OS_WIN
#define VELK_SKIP_WITHOUT_PERMISSION_BITS() QSKIP("Windows has no permission bits to take reading or writing away")
#else
#define VELK_SKIP_WITHOUT_PERMISSION_BITS() static_cast<void>(0)
#endif

// A temporary station workspace: logs/, pics/ and work/, with work/ as the
// place the program runs in, so "../logs/" and "../pics/" resolve as on a station.
class Workspace
{
public:
    Workspace()
    {
        QDir root(m_dir.path());
        root.mkpath("logs");
        root.mkpath("pics");
        root.mkpath("work");
        m_previous = QDir::currentPath();
        QDir::setCurrent(root.filePath("work"));
    }
    ~Workspace() { QDir::setCurrent(m_previous); }

    QString path(const QString &relative) const { return QDir(m_dir.path()).filePath(relative); }
    QString logs() const { return path("logs"); }

    void writeLog(const QString &name, const QByteArray &content) const { write("logs/" + name, content); }
    void write(const QString &relative, const QByteArray &content) const
    {
        QFile f(path(relative));
        f.open(QIODevice::WriteOnly);
        f.write(content);
    }

    // Moves a log's modification time an hour back: the day index summarises
    // no file that changed within the last seconds.
    void settleLog(const QString &name) const
    {
        QFile f(path("logs/" + name));
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// One record as the receiver writes it; empty values leave their line out.
inline QByteArray logRecord(const QByteArray &time, const QByteArray &mmsi, const QByteArray &name = {},
                            const QByteArray &lat = {}, const QByteArray &lon = {},
                            const QByteArray &speed = {})
{
    QByteArray r = "-------------------- " + time + "\r\n";
    if (!mmsi.isEmpty())
        r += "MMSI NUMBER         = " + mmsi + "\r\n";
    if (!name.isEmpty())
        r += "NAME                = " + name + "\r\n";
    if (!lon.isEmpty())
        r += "LONGITUDE           = " + lon + "\r\n";
    if (!lat.isEmpty())
        r += "LATITUDE            = " + lat + "\r\n";
    if (!speed.isEmpty())
        r += "SPEED OVER GROUND   = " + speed + " [knots]\r\n";
    return r;
}
