#include "Controller.h"
#include "UserDialogs.h"
#include "WindowCommandLine.h"
#include "core/MidiConstants.h"
#include "midiinterface/MidiServiceFactory.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    const WindowCommandLine command = WindowCommandLine::parse(argc, argv);
    if (command.exitStatus) {
        return *command.exitStatus;
    }
    if (const QString why = whyNoDisplay(); !why.isEmpty()) {
        std::fprintf(stderr, "bankshuttle: %s\n", qPrintable(why));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BankShuttle"));
    // Window titles read "untitled.mid — BankShuttle".
    QApplication::setApplicationDisplayName(QStringLiteral("BankShuttle"));
    QApplication::setApplicationVersion(QStringLiteral(BANKSHUTTLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.bankshuttle.BankShuttle"));

    std::string diagnostic;
    const auto midi = createMidiService(midi::kProgramName, &diagnostic);
    if (!diagnostic.empty()) {
        std::fprintf(stderr, "bankshuttle: %s\n", diagnostic.c_str());
    }
    QtUserDialogs dialogs;
    Controller controller(*midi, dialogs);
    controller.awakeFromNib();
    if (midi->apiName() == "none" && !diagnostic.empty()) {
        // A program started from the desktop's menu has no terminal to show stderr.
        controller.setMidiProblem(
            QStringLiteral("No MIDI ports: %1. To use ALSA, your user must be allowed to open "
                           "/dev/snd/seq (the group \"audio\"); or start a JACK server. Then "
                           "start BankShuttle again.")
                .arg(QString::fromStdString(diagnostic)));
    }
    controller.window().show();
    // A file named on the command line is opened as if chosen in the panel.
    if (!command.file.isEmpty()) {
        controller.openPath(command.file);
    }
    return QApplication::exec();
}
