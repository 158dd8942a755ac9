#include "open_dialog.h"

#include <QFileDialog>

std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent, const QStringList& nameFilters,
                                            int filterIndex) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog matches name filters without regard to case (file types
    // come written either way); a desktop's native one may not.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilters(nameFilters);
    if (filterIndex >= 1 && filterIndex <= nameFilters.size())
        dialog->selectNameFilter(nameFilters[filterIndex - 1]);
    return dialog;
}

QString chooseFileToOpen(QWidget* parent, const QStringList& nameFilters, int filterIndex) {
    const auto dialog = makeOpenDialog(parent, nameFilters, filterIndex);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().constFirst();
}
