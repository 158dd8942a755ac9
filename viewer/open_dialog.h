#pragma once

#include <QStringList>

#include <memory>

class QFileDialog;
class QWidget;

// The open dialog with the given name filters; filterIndex counts from 1, as
// the window's filter index does.
std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent, const QStringList& nameFilters,
                                            int filterIndex);

// Runs the open dialog; the chosen file, or an empty string on cancel.
QString chooseFileToOpen(QWidget* parent, const QStringList& nameFilters, int filterIndex);
