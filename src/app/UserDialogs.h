#pragma once

#include <QString>

#include <optional>

class QWidget;

// The modal things the controller shows: file panels, alerts and the beep. Tests replace them
// so that nothing ever waits for a person.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // The chosen ".mid" file, or nothing when cancelled.
    virtual std::optional<QString> fileToRead(QWidget* parent) = 0;
    virtual std::optional<QString> fileToWrite(QWidget* parent) = 0;
    // A modal alert with a title, a message and the single button "OK".
    virtual void informationalAlert(QWidget* parent, const QString& title,
                                    const QString& message) = 0;
    virtual void criticalAlert(QWidget* parent, const QString& title, const QString& message) = 0;
    virtual void beep() = 0;
};

// The real panels and alerts.
class QtUserDialogs final : public UserDialogs {
public:
    std::optional<QString> fileToRead(QWidget* parent) override;
    std::optional<QString> fileToWrite(QWidget* parent) override;
    void informationalAlert(QWidget* parent, const QString& title, const QString& message) override;
    void criticalAlert(QWidget* parent, const QString& title, const QString& message) override;
    void beep() override;
};
