#include "qml/qml_engine_setup.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

namespace {

QStringList s_messages;

void collectMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        s_messages.append(message);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsWithoutWarnings()
    {
        s_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
        {
            QQmlApplicationEngine engine;
            tessaron::qml::configureEngine(engine);
            engine.load(tessaron::qml::mainQmlUrl);
            QCOMPARE(engine.rootObjects().size(), 1);
            auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst());
            QVERIFY(window);
            QVERIFY(window->isVisible());
        }
        qInstallMessageHandler(previous);
        QVERIFY2(s_messages.isEmpty(), qPrintable(s_messages.join(u'\n')));
    }
};

QTEST_MAIN(TestMainWindow)

#include "tst_main_window.moc"
