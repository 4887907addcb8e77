#pragma once

#include <QString>

#include <optional>

class QWidget;

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
};
