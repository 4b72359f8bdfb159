#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

// One run of the tool as a script sees it: output bytes and exit status.
struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline Run velkaisLog(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELKAIS_LOG), args);
    p.waitForFinished(60000);
    QByteArray err = p.readAllStandardError();
#ifdef Q_OS_WIN
    // Standard error is a text stream there: its lines end in CR LF, which
    // the tests' expectations leave out. Standard output is binary.
    err.replace("\r\n", "\n");
#endif
    return {p.exitCode(), p.readAllStandardOutput(), err};
}
