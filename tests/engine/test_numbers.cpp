#include "engine/numbers.h"
#include "engine/text.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <string>
#include <vector>

#include <cfloat>
#include <clocale>

class TestNumbers : public QObject
{
    Q_OBJECT
private slots:
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("plain") << "33.9683" << 33.9683;
        QTest::newRow("blanks tabs and line feeds skipped") << " \t\n12.3 " << 12.3;
        QTest::newRow("stops at the first other character") << "12.3 [knots]" << 12.3;
        QTest::newRow("second point ends the number") << "1.2.3" << 1.2;
        QTest::newRow("comma is no decimal point") << "33,5" << 33.0;
        QTest::newRow("sign") << "-5 [knots]" << -5.0;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("exponent") << "1e3x" << 1000.0;
        QTest::newRow("exponent without digits is not taken") << "2e" << 2.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("nan is no number") << "nan [knots]" << 0.0;
        QTest::newRow("inf is no number") << "inf" << 0.0;
        QTest::newRow("overflow is the largest double") << "1e400" << DBL_MAX;
        QTest::newRow("negative overflow") << "-1e400" << -DBL_MAX;
        QTest::newRow("underflow is zero") << "1e-400" << 0.0;
        QTest::newRow("large but finite") << "1e308 [knots]" << 1e308;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Module1::leadingNumber(text), value);
    }

    // The positions' and the speeds' shortcuts give leadingNumber's very bits for any text.
    void positionNumberIsLeadingNumber()
    {
        const char alphabet[] = "0123456789..--+ eE9/:\x2e\xb0";
        QRandomGenerator rng(7);
        for (int i = 0; i < 200000; ++i) {
            std::string text;
            for (int n = int(rng.bounded(20u)); n > 0; --n)
                text += alphabet[rng.bounded(quint32(sizeof alphabet - 1))];
            const double a = Module1::positionNumber(text);
            const double b = Module1::leadingNumber(std::string_view(text));
            QVERIFY2(std::memcmp(&a, &b, sizeof a) == 0, text.c_str());
            const double c = Module1::leadingDecimal(text);
            QVERIFY2(std::memcmp(&c, &b, sizeof c) == 0, text.c_str());
        }
        // Texts shaped like positions, now and then with one byte changed,
        // and like speeds, with what follows the number.
        for (int i = 0; i < 200000; ++i) {
            std::string text = rng.bounded(4u) == 0 ? "-" : "";
            for (int n = int(rng.bounded(10u)); n > 0; --n)
                text += char('0' + rng.bounded(10u));
            if (rng.bounded(5u) != 0)
                text += '.';
            for (int n = int(rng.bounded(12u)); n > 0; --n)
                text += char('0' + rng.bounded(10u));
            if (!text.empty() && rng.bounded(4u) == 0)
                text[rng.bounded(quint32(text.size()))] = alphabet[rng.bounded(quint32(sizeof alphabet - 1))];
            const double a = Module1::positionNumber(text);
            const double b = Module1::leadingNumber(std::string_view(text));
            QVERIFY2(std::memcmp(&a, &b, sizeof a) == 0, text.c_str());
            const char *const tails[] = {"", " [knots]", "e3", "E-2 kn", ".5", "-", "x"};
            const std::string speed = text + tails[rng.bounded(7u)];
            const double c = Module1::leadingDecimal(speed);
            const double d = Module1::leadingNumber(std::string_view(speed));
            QVERIFY2(std::memcmp(&c, &d, sizeof c) == 0, speed.c_str());
        }
    }

    // The word-at-a-time path takes texts of four to eight bytes: every place
    // of the dot, and every byte in turn replaced by one just outside the
    // digits, by a second dot or by a byte with the high bit set.
    void positionNumberOfShortTexts()
    {
        const char replacements[] = {'/', ':', '.', '-', ' ', '\0', 'e', '\xb0', '\xff', '0', '9'};
        int compared = 0;
        for (int length = 3; length <= 9; ++length) {
            for (int dot = -1; dot < length; ++dot) {
                std::string body;
                for (int i = 0; i < length; ++i)
                    body += i == dot ? '.' : char('1' + (i * 7 + length) % 9);
                for (const std::string &sign : {std::string(), std::string("-")}) {
                    std::vector<std::string> texts{sign + body};
                    for (int at = 0; at < length; ++at) {
                        for (char c : replacements) {
                            std::string text = sign + body;
                            text[sign.size() + std::size_t(at)] = c;
                            texts.push_back(text);
                        }
                    }
                    for (const std::string &text : texts) {
                        const double a = Module1::positionNumber(text);
                        const double b = Module1::leadingNumber(std::string_view(text));
                        QVERIFY2(std::memcmp(&a, &b, sizeof a) == 0, text.c_str());
                        ++compared;
                    }
                }
            }
        }
        QCOMPARE(Module1::positionNumber("131.1436"), 131.1436);
        QCOMPARE(Module1::positionNumber("-33.9119"), -33.9119);
        QCOMPARE(Module1::positionNumber("99999999"), 99999999.0);
        QVERIFY(compared > 5000);
    }

    void roundingHalvesToEven()
    {
        QCOMPARE(Module1::roundHalfEven(2.5), 2.0);
        QCOMPARE(Module1::roundHalfEven(3.5), 4.0);
        QCOMPARE(Module1::roundHalfEven(-0.5), -0.0);
        QCOMPARE(Module1::roundHalfEven(23.4), 23.0);
        QCOMPARE(Module1::roundHalfEven(1e300), 1e15);
    }

    void numberText()
    {
        QCOMPARE(Module1::numberText(124), std::string("124"));
        QCOMPARE(Module1::numberText(12.3 * 10 + 1), std::string("124"));
        QCOMPARE(Module1::numberText(12.3 * 100 + 1), std::string("1231"));
        QCOMPARE(Module1::numberText(125.5), std::string("125.5"));
        QCOMPARE(Module1::numberText(0), std::string("0"));
        QCOMPARE(Module1::numberText(1e20), std::string("1e+20"));
        QCOMPARE(Module1::numberText(0.1 + 0.2), std::string("0.3"));
    }

    void numberTextIgnoresTheProcessLocale()
    {
        const char *previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        if (!previous)
            QSKIP("no German locale on this machine");
        const std::string text = Module1::numberText(12.3);
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(text, std::string("12.3"));
    }

    void textIsStoredAsValidUtf8()
    {
        std::string out;
        Module1::assignText(out, "ab\xff" "c");
        QCOMPARE(out, std::string("ab\xEF\xBF\xBD" "c"));
        Module1::assignText(out, "\xE6\x97\xA5\xE6\x9C\xAC");
        QCOMPARE(out, std::string("\xE6\x97\xA5\xE6\x9C\xAC"));
        QCOMPARE(Module1::lastChars("x\xE6\x97\xA5" "12", 3), std::string_view("\xE6\x97\xA5" "12"));
        QCOMPARE(Module1::firstChars("\xE6\x97\xA5" "12", 2), std::string_view("\xE6\x97\xA5" "1"));
    }
};

QTEST_GUILESS_MAIN(TestNumbers)
#include "test_numbers.moc"
