#include "qml/qml_engine_setup.h"
#include "support/test_paths.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(TessaronPlugin)

class QuickTestSetup : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        tessaron::qml::configureEngine(*engine);
        engine->rootContext()->setContextProperty(QStringLiteral("samplesDir"), tessaron::test::samplesDir());
    }
};

QUICK_TEST_MAIN_WITH_SETUP(tessaron_quick, QuickTestSetup)

#include "tst_quick.moc"
