#include "ddd/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTest>

using namespace tessaron::ddd;

class TestSha256 : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("digest");
        QTest::addRow("empty") << QByteArray()
                               << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::addRow("abc") << QByteArray("abc")
                             << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::addRow("two blocks") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                    << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }
    void knownDigests()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, digest);
        QCOMPARE(Sha256::hash(input).toHex(), digest);
        QCOMPARE(Sha256::hash(input, Sha256::Implementation::Portable).toHex(), digest);
    }

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
