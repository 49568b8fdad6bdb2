#include "ui/translation_loader.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using tessaron::ui::TranslationLoader;

// Qt's own dialogs as the program starts them: in Russian once the catalogue is installed, untouched when it
// cannot be found. The failing case runs first, while nothing is installed yet.
class TestTranslationLoader : public QObject
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

        QFileDialog dialog(nullptr, QStringLiteral("Выберите файл DDD"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn);
        QCOMPARE(lookIn->text(), QStringLiteral("Перейти к:"));
        dialog.resize(760, 460);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(QCoreApplication::applicationDirPath() + QStringLiteral("/file_dialog.png")));
    }
};

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TestTranslationLoader test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_translation_loader.moc"
