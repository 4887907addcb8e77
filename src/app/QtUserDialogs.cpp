#include "UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

const QString kMidiFiles = QStringLiteral("MIDI files (*.mid)");

void alert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& message) {
    QMessageBox box(icon, title, message, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole); // whatever the locale says
    box.exec();
}

} // namespace

std::optional<QString> QtUserDialogs::fileToRead(QWidget* parent) {
    const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(), kMidiFiles);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path;
}

std::optional<QString> QtUserDialogs::fileToWrite(QWidget* parent) {
    QFileDialog dialog(parent, QString(), QString(), kMidiFiles);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("mid")); // a name typed without it gets it
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

void QtUserDialogs::informationalAlert(QWidget* parent, const QString& title,
                                       const QString& message) {
    alert(parent, QMessageBox::Information, title, message);
}

void QtUserDialogs::criticalAlert(QWidget* parent, const QString& title, const QString& message) {
    alert(parent, QMessageBox::Critical, title, message);
}

void QtUserDialogs::beep() {
    QApplication::beep();
}
