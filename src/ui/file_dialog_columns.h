#pragma once

class QFileDialog;

namespace tessaron::ui {

// Lets a Qt (not native) file dialog's detail view show its size, type and date columns whole, each as wide as
// its texts, the name column taking the rest. A dialog without a detail view is left as it is.
void showFileDialogColumnsWhole(QFileDialog &dialog);

} // namespace tessaron::ui
