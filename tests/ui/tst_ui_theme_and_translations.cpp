#include "ui/file_dialog_columns.h"
#include "ui/theme_manager.h"
#include "ui/translation_loader.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QQuickStyle>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using tessaron::ui::Theme;
using tessaron::ui::ThemeManager;
using tessaron::ui::TranslationLoader;

// The look and the language of the program's own windows. Qt's dialogs speak Russian once the catalogue is
// installed and stay untouched when it cannot be found: the failing case runs first, while nothing is installed.
class TestThemeAndTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderWithoutCatalogueChangesNothing()
    {
        QTemporaryDir empty;
        QString error;
        QVERIFY(!TranslationLoader::installQtTranslations(empty.path(), &error));
        QVERIFY2(error.contains(empty.path()), qPrintable(error));
        QDialogButtonBox box(QDialogButtonBox::Open);
        QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("Open"));
    }

    void standardButtonsAndTheFileDialogSpeakRussian()
    {
        QVERIFY2(TranslationLoader::installQtTranslations(TranslationLoader::qtTranslationsFolder(), nullptr),
            qPrintable(TranslationLoader::qtTranslationsFolder()));
        QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QStringLiteral("Открыть"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
        // Qt Quick's own catalogue too.
        QCOMPARE(QCoreApplication::translate("QQuickRepeater", "Delegate must be of Item type"),
            QStringLiteral("Делегат должен быть типа Item"));

        // A folder and a download of a known size and time.
        TranslationLoader::useRussianLocale();
        QTemporaryDir folder;
        QFile download(folder.filePath(QStringLiteral("vu.ddd")));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("Архив")) && download.open(QIODevice::WriteOnly)
            && download.write(QByteArray(5000, '\0')) == 5000 && download.flush());
        QVERIFY(download.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(8, 5)), QFileDevice::FileModificationTime));

        QFileDialog dialog(nullptr, QStringLiteral("Выберите файл DDD"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn);
        QCOMPARE(lookIn->text(), QStringLiteral("Перейти к:"));
        dialog.setDirectory(folder.path());
        tessaron::ui::showFileDetailsInRussian(dialog);
        tessaron::ui::showFileDialogColumnsWhole(dialog);
        dialog.setViewMode(QFileDialog::Detail);
        dialog.resize(960, 600);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // A folder's rows in Russian, the size, type and date columns each as wide as their texts.
        auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
        const QModelIndex root = view->rootIndex();
        QTRY_COMPARE(view->model()->rowCount(root), 2);
        // Folders first; the download's size, type and time as the program writes them.
        const auto cell
            = [&](int row, int column) { return view->model()->index(row, column, root).data().toString(); };
        QTRY_COMPARE(cell(0, 2), QStringLiteral("Папка"));
        QCOMPARE((QStringList {cell(1, 1), cell(1, 2), cell(1, 3)}),
            (QStringList {QStringLiteral("4,9 КБ"), QStringLiteral("Неизвестно"), QStringLiteral("07.12.2026 08:05")}));
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
            for (int column = 1; column < 4; ++column) {
                const QString text = view->model()->index(row, column, root).data().toString();
                QTRY_VERIFY2(view->header()->sectionSize(column) > view->fontMetrics().horizontalAdvance(text),
                    qPrintable(text));
            }
        }
        QVERIFY(dialog.grab().save(QCoreApplication::applicationDirPath() + QStringLiteral("/file_dialog.png")));
    }

    void fileSizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addRow("one byte short of a kilobyte") << qint64(1023) << QStringLiteral("1023 байт");
        QTest::addRow("the largest download") << qint64(16) * 1024 * 1024 << QStringLiteral("16,0 МБ");
        QTest::addRow("past the last unit")
            << qint64(5) * 1024 * 1024 * 1024 * 1024 * 1024 << QStringLiteral("5\u00A0120,0 ТБ");
    }

    void fileSizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(tessaron::ui::fileSizeText(bytes), text);
    }

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

QTEST_MAIN(TestThemeAndTranslations)

#include "tst_ui_theme_and_translations.moc"
