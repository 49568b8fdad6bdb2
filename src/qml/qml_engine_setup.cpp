#include "qml_engine_setup.h"

#include "ui/window_placement.h"

#include <QQmlAbstractUrlInterceptor>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace tessaron::qml {

namespace {

// Qt Quick's file dialog writes a file's size in the locale's IEC units ("4,88 KiB", in Russian too) under its
// name: that detail line is replaced by one that writes size and time as the program's other file dialogs do.
class FileDialogDetailsInterceptor : public QQmlAbstractUrlInterceptor
{
public:
    QUrl intercept(const QUrl &url, DataType type) override
    {
        if (type == QmlFile && url.scheme() == QStringLiteral("qrc")
            && url.path()
                == QStringLiteral("/qt-project.org/imports/QtQuick/Dialogs/quickimpl/qml/FileDialogDelegateLabel.qml"))
            return QUrl(QStringLiteral("qrc:/qt/qml/Tessaron/FileDialogDetails.qml"));
        return url;
    }
};

} // namespace

void configureEngine(QQmlEngine &engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    static FileDialogDetailsInterceptor fileDialogDetails; // stateless, shared by every engine
    engine.addUrlInterceptor(&fileDialogDetails);
    // The program speaks Russian whatever the system's language: Qt.uiLanguage and the catalogues QML asks for.
    engine.setUiLanguage(QStringLiteral("ru_RU"));
}

bool loadMainWindow(QQmlApplicationEngine &engine)
{
    engine.load(mainQmlUrl);
    const QList<QObject *> roots = engine.rootObjects();
    auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.constLast());
    if (!window)
        return false;
    ui::showPlaced(*window);
    return true;
}

} // namespace tessaron::qml
