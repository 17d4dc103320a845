#include "store/PasswordGenerator.h"

#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(PasswordRules)

// The password generator over the system's real random source: no seed is fixed, so the
// statistical bounds below are chosen for a correct generator to fail them with
// negligible probability.
class TestPasswordGenerator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void drawsFollowTheRules_data();
    void drawsFollowTheRules();
    void estimatedStrength_data();
    void estimatedStrength();
};

namespace {

PasswordRules rules(int length, const QString& classes, bool avoidLookAlikes)
{
    PasswordRules made;
    made.length = length;
    made.lowercase = classes.contains(QLatin1Char('a'));
    made.uppercase = classes.contains(QLatin1Char('A'));
    made.digits = classes.contains(QLatin1Char('0'));
    made.symbols = classes.contains(QLatin1Char('!'));
    made.avoidLookAlikes = avoidLookAlikes;
    return made;
}

// The chi-square statistic's quantile for degrees of freedom df at the standard normal
// deviate z, by the Wilson-Hilferty approximation (good to a few per cent this far out
// for df above 5).
double chiSquareQuantile(int df, double z)
{
    const double v = 2.0 / (9.0 * df);
    return df * std::pow(1.0 - v + z * std::sqrt(v), 3.0);
}

} // namespace

void TestPasswordGenerator::drawsFollowTheRules_data()
{
    // classes: a lower case, A upper case, 0 digits, ! symbols.
    QTest::addColumn<PasswordRules>("rules");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("classes");
    QTest::addColumn<int>("alphabetSize");
    QTest::addColumn<int>("bits");
    QTest::newRow("defaults") << PasswordRules() << 20 << "aA0!" << 87 << 128;
    QTest::newRow("shortest, look-alikes kept")
        << rules(8, QStringLiteral("aA0!"), false) << 8 << "aA0!" << 94 << 52;
    QTest::newRow("longest") << rules(128, QStringLiteral("aA0!"), true) << 128 << "aA0!" << 87
                             << 824;
    QTest::newRow("digits only") << rules(8, QStringLiteral("0"), true) << 8 << "0" << 8 << 24;
    QTest::newRow("lower case and symbols")
        << rules(12, QStringLiteral("a!"), true) << 12 << "a!" << 55 << 69;
    QTest::newRow("too short is raised")
        << rules(3, QStringLiteral("A"), false) << 8 << "A" << 26 << 37;
    QTest::newRow("too long is lowered")
        << rules(500, QStringLiteral("aA0!"), false) << 128 << "aA0!" << 94 << 838;
    QTest::newRow("no class means every class")
        << rules(16, QString(), false) << 16 << "aA0!" << 94 << 104;
}

void TestPasswordGenerator::drawsFollowTheRules()
{
    QFETCH(PasswordRules, rules);
    QFETCH(int, length);
    QFETCH(QString, classes);
    QFETCH(int, alphabetSize);
    QFETCH(int, bits);
    const PasswordGenerator generator(rules);
    const QString& alphabet = generator.alphabet();
    QCOMPARE(alphabet.size(), alphabetSize);
    QCOMPARE(int(generator.strengthBits()), bits);
    const QString lookAlikes = QStringLiteral("Il1|O0o");
    // With one class, or at 128 characters where a password lacks a class with a chance
    // far below 1e-6, the rule that every class appears leaves the count of each
    // character as good as uniform: at least 100,000 characters are drawn to check it.
    const bool uniform = classes.size() == 1 || length == PasswordRules::maximumLength;
    QList<int> counts(alphabet.size(), 0);
    int drawn = 0;
    for (int draw = 0; draw < 2000 || (uniform && drawn < 100000); ++draw, drawn += length) {
        const QString password = generator.generate();
        QCOMPARE(password.size(), length);
        QString seen; // the class of each character, marked as in the classes column
        for (QChar c : password) {
            const qsizetype index = alphabet.indexOf(c);
            QVERIFY2(index >= 0 && !(rules.avoidLookAlikes && lookAlikes.contains(c)),
                     qPrintable(password));
            ++counts[index];
            seen += c.isLower() ? u'a' : c.isUpper() ? u'A' : c.isDigit() ? u'0' : u'!';
        }
        for (QChar mark : QStringLiteral("aA0!")) {
            QVERIFY2(seen.contains(mark) == classes.contains(mark), qPrintable(password));
        }
    }
    if (!uniform) {
        return;
    }
    const double expected = double(drawn) / double(alphabet.size());
    double chiSquare = 0;
    for (int count : counts) {
        chiSquare += (count - expected) * (count - expected) / expected;
    }
    // Both tails at p < 1e-6 (z = 4.753): too uneven a spread fails, and so does one too
    // even to be chance, such as characters dealt out in turn.
    const int df = int(alphabet.size()) - 1;
    QVERIFY2(chiSquare < chiSquareQuantile(df, 4.753) && chiSquare > chiSquareQuantile(df, -4.753),
             qPrintable(
                 QStringLiteral("chi-square %1 at %2 degrees of freedom").arg(chiSquare).arg(df)));
}

void TestPasswordGenerator::estimatedStrength_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("bits");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("lower case") << QStringLiteral("abcdefgh") << 37;    // 8 log2 26
    QTest::newRow("all classes") << QStringLiteral("aB3!") << 26;       // 4 log2 94
    QTest::newRow("one other character") << QStringLiteral("ééé") << 0; // alphabet of 1
    QTest::newRow("digits and others") << QStringLiteral("12äö") << 14; // 4 log2 12
}

void TestPasswordGenerator::estimatedStrength()
{
    QFETCH(QString, password);
    QFETCH(int, bits);
    QCOMPARE(int(PasswordGenerator::estimatedBits(password)), bits);
}

QTEST_GUILESS_MAIN(TestPasswordGenerator)
#include "tst_passwordgenerator.moc"
