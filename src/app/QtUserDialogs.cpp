#include "UserDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kDumpFiles = QStringLiteral("Dump files (*.mid *.syx)");
const QString kMidiFiles = QStringLiteral("MIDI files (*.mid)");
const QString kSysExFiles = QStringLiteral("SysEx files (*.syx)");

// True when OK was pressed; Escape or closing the box is a "no".
bool alert(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& message) {
    QMessageBox box(icon, title, message, QMessageBox::NoButton, parent);
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    // Without this, Escape would press the only button.
    QPushButton* escape = box.addButton(QMessageBox::Cancel);
    escape->hide();
    box.setEscapeButton(escape);
    box.setDefaultButton(ok);
    box.exec();
    return box.clickedButton() == ok;
}

} // namespace

std::optional<QString> QtUserDialogs::fileToRead(QWidget* parent, const QString& folder) {
    const QString path = QFileDialog::getOpenFileName(
        parent, QString(), folder, QStringList{kDumpFiles, kMidiFiles, kSysExFiles}.join(";;"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path;
}

std::optional<QString> QtUserDialogs::fileToWrite(QWidget* parent, const QString& suggestion) {
    QFileDialog dialog(parent, QString(), suggestion,
                       QStringList{kMidiFiles, kSysExFiles}.join(";;"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the chosen filter's.
    dialog.setDefaultSuffix(QStringLiteral("mid"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f == kSysExFiles ? QStringLiteral("syx") : QStringLiteral("mid"));
    });
    if (suggestion.endsWith(QStringLiteral(".syx"), Qt::CaseInsensitive)) {
        dialog.selectNameFilter(kSysExFiles);
        dialog.setDefaultSuffix(QStringLiteral("syx"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtUserDialogs::folderToUse(QWidget* parent, const QString& folder) {
    const QString chosen =
        QFileDialog::getExistingDirectory(parent, QStringLiteral("Library folder"), folder);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

void QtUserDialogs::showFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool QtUserDialogs::readyAlert(QWidget* parent, const QString& title, const QString& message) {
    return alert(parent, QMessageBox::Information, title, message);
}

void QtUserDialogs::informationalAlert(QWidget* parent, const QString& title,
                                       const QString& message) {
    alert(parent, QMessageBox::Information, title, message);
}

void QtUserDialogs::criticalAlert(QWidget* parent, const QString& title, const QString& message) {
    alert(parent, QMessageBox::Critical, title, message);
}

UserDialogs::Unsaved QtUserDialogs::askToSave(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved dump"), question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setInformativeText(QStringLiteral("The dump has not been saved since it arrived or "
                                          "was changed; without saving, it is gone."));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return Unsaved::save;
    case QMessageBox::Discard:
        return Unsaved::discard;
    default:
        return Unsaved::cancel;
    }
}

void QtUserDialogs::beep() {
    QApplication::beep();
}

std::optional<int> QtUserDialogs::seriesToSend(QWidget* parent, const QStringList& files,
                                               const QString& output, double seconds) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Send Selected Files"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget;
    list->addItems(files);
    list->setAccessibleName(QStringLiteral("Files to send"));
    layout->addWidget(new QLabel(QStringLiteral("%1 files, in this order, to %2; about %3 without "
                                                "the pauses between them:")
                                     .arg(files.size())
                                     .arg(output)
                                     .arg(durationText(seconds))));
    layout->addWidget(list);
    auto* pause = new QComboBox;
    for (const int s : {1, 2, 5, 10, 30}) {
        pause->addItem(QStringLiteral("%1 s").arg(s), s);
    }
    auto* label = new QLabel(QStringLiteral("&Pause between files:"));
    label->setBuddy(pause);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(pause, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return pause->currentData().toInt();
}
