#include "ui/theme_manager.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QQuickStyle>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using tessaron::ui::Theme;
using tessaron::ui::ThemeManager;

class TestThemeManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheThemeFromTheIniFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("palette");
        QTest::addColumn<double>("scale");

        const int light = int(Theme::Palette::Light);
        const int dark = int(Theme::Palette::Dark);
        QTest::addRow("no file") << QByteArray("none") << light << 1.0;
        QTest::addRow("empty file") << QByteArray() << light << 1.0;
        QTest::addRow("dark and larger") << QByteArray("[Theme]\nPalette=dark\nScale=1.25\n") << dark << 1.25;
        QTest::addRow("palette in capitals") << QByteArray("[Theme]\nPalette=DARK\n") << dark << 1.0;
        QTest::addRow("unknown palette") << QByteArray("[Theme]\nPalette=purple\n") << light << 1.0;
        QTest::addRow("scale too small") << QByteArray("[Theme]\nScale=0.1\n") << light << 0.75;
        QTest::addRow("scale too large") << QByteArray("[Theme]\nScale=40\n") << light << 2.0;
        QTest::addRow("scale not a number") << QByteArray("[Theme]\nScale=big\n") << light << 1.0;
        QTest::addRow("scale infinite") << QByteArray("[Theme]\nScale=inf\n") << light << 1.0;
        QTest::addRow("other group") << QByteArray("[General]\nPalette=dark\nScale=1.5\n") << light << 1.0;
    }

    void readsTheThemeFromTheIniFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, palette);
        QFETCH(double, scale);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Settings.ini"));
        QFile file(path);
        QVERIFY(content == "none" || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
        file.close();

        const Theme theme = ThemeManager::load(path);
        QCOMPARE(int(theme.palette), palette);
        QCOMPARE(theme.scale, scale);
    }

    void applyingSetsFusionAndThePalette()
    {
        QCOMPARE(ThemeManager::settingsFilePath(),
            QString(QCoreApplication::applicationDirPath() + QStringLiteral("/Settings.ini")));
        ThemeManager::apply(Theme {Theme::Palette::Dark, 1.0});
        QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
        QCOMPARE(QQuickStyle::name(), QStringLiteral("Fusion"));
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 100);

        ThemeManager::apply(Theme());
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() > 150);
    }
};

QTEST_MAIN(TestThemeManager)

#include "tst_ui_theme_manager.moc"
