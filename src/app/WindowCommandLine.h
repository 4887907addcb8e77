#pragma once

#include <QString>

#include <optional>

// The window program's command line and its display, settled before any window exists:
// --help and --version answer without a display, and a display that is missing or cannot be
// reached is said in one line instead of Qt's abort.
struct WindowCommandLine {
    // Set when the program is to end at once with this status (after --help, --version, a
    // wrong option or no usable display); what it said is on stdout or stderr.
    std::optional<int> exitStatus;
    QString file; // a dump file to open, or ""

    static WindowCommandLine parse(int argc, char** argv);
};

// Why no window can be shown ("" when one can): no display named, or one that does not answer.
QString whyNoDisplay();
