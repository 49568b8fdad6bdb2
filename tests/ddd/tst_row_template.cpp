#include "ddd/row_template.h"

#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::ddd::RowTemplate;

class TestRowTemplate : public QObject
{
    Q_OBJECT

private slots:
    // A row is the map inserting each key with its value gives, whatever the order the keys were given in.
    void rowEqualsInsertedMap_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addRow("keys in ascending order") << QStringList {u"a"_s, u"b"_s, u"c"_s};
        QTest::addRow("keys in descending order") << QStringList {u"time"_s, u"day"_s, u"activity"_s};
        QTest::addRow("keys mixed") << QStringList {u"value"_s, u"activity"_s, u"time"_s, u"day"_s};
        QTest::addRow("one key") << QStringList {u"only"_s};
    }
    void rowEqualsInsertedMap()
    {
        QFETCH(QStringList, keys);
        const auto shape = [&keys]() -> RowTemplate {
            switch (keys.size()) {
            case 1:
                return RowTemplate {keys[0]};
            case 3:
                return RowTemplate {keys[0], keys[1], keys[2]};
            default:
                return RowTemplate {keys[0], keys[1], keys[2], keys[3]};
            }
        }();
        QCOMPARE(shape.size(), keys.size());
        const QVariantList values {QVariant(1), QVariant(u"два"_s), QVariant(3.5), QVariant()};
        QVariantMap expected;
        for (qsizetype i = 0; i < keys.size(); ++i)
            expected.insert(keys[i], values[i]);
        const QVariantMap row = keys.size() == 1 ? shape.row(values[0])
            : keys.size() == 3                   ? shape.row(values[0], values[1], values[2])
                                                 : shape.row(values[0], values[1], values[2], values[3]);
        QCOMPARE(row, expected);
        QCOMPARE(row.keys(), expected.keys());
    }

    // Rows are independent copies: filling one leaves the shape and earlier rows as they were.
    void rowsDoNotShareValues()
    {
        const RowTemplate shape {u"b"_s, u"a"_s};
        const QVariantMap first = shape.row(1, 2);
        const QVariantMap second = shape.row(3, 4);
        QCOMPARE(first, (QVariantMap {{u"a"_s, 2}, {u"b"_s, 1}}));
        QCOMPARE(second, (QVariantMap {{u"a"_s, 4}, {u"b"_s, 3}}));
        QCOMPARE(shape.row(QVariant(), QVariant()), (QVariantMap {{u"a"_s, QVariant()}, {u"b"_s, QVariant()}}));
    }
};

QTEST_GUILESS_MAIN(TestRowTemplate)
#include "tst_row_template.moc"
