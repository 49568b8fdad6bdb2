#include "ddd/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

using namespace tessaron::ddd;

class TestSha256 : public QObject
{
    Q_OBJECT

private slots:
    // Every length around the block and padding boundaries, and a long input, against Qt's digest.
    void agreesWithQtOnEveryLength()
    {
        QRandomGenerator random(42);
        QByteArray data(300 * 1024, Qt::Uninitialized);
        for (char &byte : data)
            byte = char(random.bounded(256));
        QList<qsizetype> lengths;
        for (qsizetype length = 0; length <= 200; ++length)
            lengths.append(length);
        lengths << 1000 << 4096 << 103348 << data.size();
        for (qsizetype length : lengths) {
            const QByteArrayView part = QByteArrayView(data).first(length);
            const QByteArray expected = QCryptographicHash::hash(part, QCryptographicHash::Sha256);
            QCOMPARE(Sha256::hash(part), expected);
            QCOMPARE(Sha256::hash(part, Sha256::Implementation::Portable), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestSha256)
#include "tst_sha256.moc"
