#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// A time as the window says it: "40 s", "4 min", "1 h 5 min" (rounded up, never "0").
inline QString durationText(double seconds) {
    const long whole = seconds > 0 ? static_cast<long>(seconds + 0.999) : 1;
    if (whole < 60) {
        return QStringLiteral("%1 s").arg(whole);
    }
    const long minutes = (whole + 59) / 60;
    return minutes < 60 ? QStringLiteral("%1 min").arg(minutes)
                        : QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

// The modal things the controller shows: file panels, alerts and the beep. Tests replace them
// so that nothing ever waits for a person.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // The chosen ".mid" or ".syx" file, or nothing when cancelled. The panel starts in
    // `folder` (empty: where the platform likes).
    virtual std::optional<QString> fileToRead(QWidget* parent, const QString& folder) = 0;
    // The file to save to, starting with `suggestion` (a path); the name ends in ".syx" when
    // the user typed it or chose that filter, else in ".mid".
    virtual std::optional<QString> fileToWrite(QWidget* parent, const QString& suggestion) = 0;
    // A folder, starting in `folder`; nothing when cancelled.
    virtual std::optional<QString> folderToUse(QWidget* parent, const QString& folder) = 0;
    // Opens the folder in the desktop's file manager.
    virtual void showFolder(const QString& folder) = 0;
    // A modal alert with a title, a message and the single button "OK".
    virtual void informationalAlert(QWidget* parent, const QString& title,
                                    const QString& message) = 0;
    // The same, asking to go on: false when it was dismissed with Escape or closed.
    virtual bool readyAlert(QWidget* parent, const QString& title, const QString& message) = 0;
    virtual void criticalAlert(QWidget* parent, const QString& title, const QString& message) = 0;
    // The question before a dump that was never saved goes: Save, Discard or Cancel (also
    // Escape and closing the box).
    enum class Unsaved { save, discard, cancel };
    virtual Unsaved askToSave(QWidget* parent, const QString& question) = 0;
    virtual void beep() = 0;
    // Before a series of files is sent: the files (one line each: name and dump type), the
    // output and the time it will take; the chosen "Pause between files" in seconds, or
    // nothing for Cancel.
    virtual std::optional<int> seriesToSend(QWidget* parent, const QStringList& files,
                                            const QString& output, double seconds) = 0;
};

// The real panels and alerts.
class QtUserDialogs final : public UserDialogs {
public:
    std::optional<QString> fileToRead(QWidget* parent, const QString& folder) override;
    std::optional<QString> fileToWrite(QWidget* parent, const QString& suggestion) override;
    std::optional<QString> folderToUse(QWidget* parent, const QString& folder) override;
    void showFolder(const QString& folder) override;
    void informationalAlert(QWidget* parent, const QString& title, const QString& message) override;
    bool readyAlert(QWidget* parent, const QString& title, const QString& message) override;
    void criticalAlert(QWidget* parent, const QString& title, const QString& message) override;
    Unsaved askToSave(QWidget* parent, const QString& question) override;
    void beep() override;
    std::optional<int> seriesToSend(QWidget* parent, const QStringList& files,
                                    const QString& output, double seconds) override;
};
