// Replays the committed fuzzing corpora as an ordinary test, so every input
// that once found a fault keeps being checked without the fuzzer.
#include "fuzzlog.h"
#include "fuzzmap.h"

#include <QDir>
#include <QTest>

class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("input"); // -1: the log reader
        QTest::newRow("log") << "corpus" << -1;
        QTest::newRow("kml") << "corpus-kml" << int(MapInput::Kml);
        QTest::newRow("gpx") << "corpus-gpx" << int(MapInput::Gpx);
        QTest::newRow("geojson") << "corpus-geojson" << int(MapInput::GeoJson);
        QTest::newRow("coastline") << "corpus-coastline" << int(MapInput::CoastlineBin);
    }
    void replay()
    {
        QFETCH(QString, folder);
        QFETCH(int, input);
        const QDir corpus(QStringLiteral(VELK_FUZZ_CORPUS) + QLatin1Char('/') + folder);
        const QStringList inputs = corpus.entryList(QDir::Files);
        QVERIFY(!inputs.isEmpty());
        for (const QString &name : inputs) {
            QFile f(corpus.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
            if (input < 0)
                fuzzLogFile(data, std::size_t(bytes.size()));
            else
                fuzzMapInput(MapInput(input), data, std::size_t(bytes.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "test_fuzz_corpus.moc"
