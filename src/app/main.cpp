#include "Controller.h"
#include "UserDialogs.h"
#include "midiinterface/MidiServiceFactory.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a display Qt would abort with a long message; one clear line is enough.
bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return (platform != nullptr && *platform != '\0') || std::getenv("DISPLAY") != nullptr ||
           std::getenv("WAYLAND_DISPLAY") != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "bankshuttle: no display to open the window on (DISPLAY and "
                             "WAYLAND_DISPLAY are not set)\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BankShuttle"));
    QApplication::setApplicationVersion(QStringLiteral(BANKSHUTTLE_VERSION));

    std::string diagnostic;
    const auto midi = createMidiService("BankShuttle", &diagnostic);
    if (!diagnostic.empty()) {
        std::fprintf(stderr, "bankshuttle: %s\n", diagnostic.c_str());
    }
    QtUserDialogs dialogs;
    Controller controller(*midi, dialogs);
    controller.awakeFromNib();
    controller.window().show();
    // A file named on the command line is opened as if chosen in the panel.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        controller.openPath(arguments.at(1));
    }
    return QApplication::exec();
}
