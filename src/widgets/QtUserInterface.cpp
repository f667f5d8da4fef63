#include "UserInterface.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

namespace quillet {

namespace {

// "Orv Quillet Files|*.oqf|All|*" becomes "Orv Quillet Files (*.oqf);;All (*)".
QString qtFilter(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return entries.join(";;");
}

void prepare(QFileDialog& dialog, const FileDialogOptions& options)
{
    dialog.setWindowTitle(options.title);
    dialog.setNameFilter(qtFilter(options.filter));
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.initialPath.isEmpty()) {
        QFileInfo info(options.initialPath);
        dialog.setDirectory(info.absolutePath());
        if (!info.isDir())
            dialog.selectFile(info.fileName());
    }
}

} // namespace

int QtUserInterface::messageBox(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                                MessageButtons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    }
    switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    default: return mrCancel;
    }
}

int QtUserInterface::showModal(QDialog& dialog)
{
    const int result = dialog.exec();
    return result == QDialog::Accepted ? mrOk : (result == QDialog::Rejected ? mrCancel : result);
}

QString QtUserInterface::openFileName(QWidget* parent, const FileDialogOptions& options)
{
    QFileDialog dialog(parent);
    prepare(dialog, options);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
}

QStringList QtUserInterface::openFileNames(QWidget* parent, const FileDialogOptions& options)
{
    QFileDialog dialog(parent);
    prepare(dialog, options);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

QString QtUserInterface::saveFileName(QWidget* parent, const FileDialogOptions& options)
{
    QFileDialog dialog(parent);
    prepare(dialog, options);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
}

bool QtUserInterface::inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = text;
    return ok;
}

bool QtUserInterface::openWithDesktop(const QString& pathOrUrl)
{
    const QUrl url = QUrl::fromUserInput(pathOrUrl, QString(), QUrl::AssumeLocalFile);
    return QDesktopServices::openUrl(url);
}

QAction* QtUserInterface::popupMenu(QMenu& menu, const QPoint& globalPos)
{
    return menu.exec(globalPos);
}

void QtUserInterface::processEvents()
{
    QApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace quillet
