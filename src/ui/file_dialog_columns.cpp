#include "file_dialog_columns.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace tessaron::ui {

void showFileDialogColumnsWhole(QFileDialog &dialog)
{
    // "treeView" is the detail view's name in Qt's own file dialog.
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

} // namespace tessaron::ui
