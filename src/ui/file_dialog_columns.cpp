#include "file_dialog_columns.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTreeView>

#include <array>

using namespace Qt::StringLiterals;

namespace tessaron::ui {

namespace {

// The size and date columns of Qt's file list, rewritten from the file system model's own values.
class RussianFileDetails : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (!files || role != Qt::DisplayRole || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            return files->isDir(source) ? QString() : fileSizeText(files->size(source));
        case DateColumn:
            return QLocale(QLocale::Russian, QLocale::Russia)
                .toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }

    // The file system model's own order, folders first: an identity proxy does not sort at all.
    void sort(int column, Qt::SortOrder order) override
    {
        if (sourceModel())
            sourceModel()->sort(column, order);
    }

private:
    static constexpr int SizeColumn = 1;
    static constexpr int DateColumn = 3;
};

} // namespace

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

void showFileDetailsInRussian(QFileDialog &dialog)
{
    dialog.setProxyModel(new RussianFileDetails(&dialog));
}

QString fileTimeText(const QDateTime &time)
{
    return QLocale(QLocale::Russian, QLocale::Russia).toString(time, QLocale::ShortFormat);
}

QString fileSizeText(qint64 bytes)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    if (bytes < 1024)
        return u"%1 байт"_s.arg(qMax<qint64>(bytes, 0));
    constexpr std::array units = {u"КБ", u"МБ", u"ГБ", u"ТБ"};
    double value = double(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < units.size()) {
        value /= 1024.0;
        ++unit;
    }
    return russian.toString(value, 'f', 1) + u' ' + QString::fromUtf16(units.at(unit));
}

QString chooseExistingFile(const QString &title, const QString &folder, const QString &filter)
{
    QFileDialog dialog(nullptr, title, folder, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    showFileDetailsInRussian(dialog);
    showFileDialogColumnsWhole(dialog);
    dialog.resize(960, 600);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace tessaron::ui
