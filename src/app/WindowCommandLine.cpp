#include "WindowCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

bool set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

QString whyNoDisplay() {
    if (set("QT_QPA_PLATFORM")) {
        return {}; // chosen by hand (offscreen, say): Qt's business
    }
    if (set("WAYLAND_DISPLAY")) {
        const std::filesystem::path socket = std::filesystem::path(std::getenv("WAYLAND_DISPLAY"));
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::error_code ec;
        if (socket.is_absolute() ||
            (runtime != nullptr && std::filesystem::exists(runtime / socket, ec))) {
            return {};
        }
    }
    if (!set("DISPLAY")) {
        return QStringLiteral("no display to open the window on (DISPLAY and WAYLAND_DISPLAY "
                              "are not set)");
    }
    // Qt aborts when the X server does not answer; ask it first.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reached) {
        return QStringLiteral("the display \"%1\" cannot be reached")
            .arg(QString::fromLocal8Bit(std::getenv("DISPLAY")));
    }
    return {};
}

WindowCommandLine WindowCommandLine::parse(int argc, char** argv) {
    // A core application only for the parser: no display is touched.
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bankshuttle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BANKSHUTTLE_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Backs up and restores the SysEx dumps of KoRvO synthesizers: the window. "
                       "bankshuttle-cli does the same on the command line."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A dump file (.mid or .syx) to open."),
                                 QStringLiteral("[file]"));
    WindowCommandLine result;
    if (!parser.parse(QCoreApplication::arguments()) || parser.positionalArguments().size() > 1) {
        const QString why = parser.errorText().isEmpty()
                                ? QStringLiteral("only one file can be opened")
                                : parser.errorText();
        std::fprintf(stderr, "bankshuttle: %s (see bankshuttle --help)\n", qPrintable(why));
        result.exitStatus = 2;
        return result;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        result.exitStatus = 0;
        return result;
    }
    if (parser.isSet(version)) {
        std::printf("bankshuttle %s\n", BANKSHUTTLE_VERSION);
        result.exitStatus = 0;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.file = parser.positionalArguments().constFirst();
    }
    return result;
}
