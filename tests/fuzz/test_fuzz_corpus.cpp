// Replays the committed fuzzing corpus as an ordinary test, so every input
// that once found a fault keeps being checked without the fuzzer.
#include "fuzzlog.h"

#include <QDir>
#include <QTest>

class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private slots:
    void replay()
    {
        const QDir corpus(QStringLiteral(VELK_FUZZ_CORPUS));
        const QStringList inputs = corpus.entryList(QDir::Files);
        QVERIFY(!inputs.isEmpty());
        for (const QString &name : inputs) {
            QFile f(corpus.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            fuzzLogFile(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzz_corpus.moc"
