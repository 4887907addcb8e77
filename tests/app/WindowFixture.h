#pragma once

#include "Controller.h"
#include "UserDialogs.h"
#include "midifile/DumpFile.h"
#include "midiinterface/virtual/VirtualMidiService.h"
#include "support/EventLoop.h"
#include "support/Messages.h"
#include "support/TempDir.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

// Panels answer from a queue; alerts and beeps are recorded. Nothing ever waits for a person.
class FakeDialogs final : public UserDialogs {
public:
    struct Alert {
        bool critical;
        QString title;
        QString message;
    };

    // The panels' answers; an empty text cancels.
    std::deque<QString> filesToRead, filesToWrite, foldersToUse;
    std::vector<QString> shownFolders;
    std::vector<Alert> alerts;
    int beeps = 0;
    // Runs when an alert is shown, before it is "dismissed".
    std::function<void(const Alert&)> onAlert;

    // Where the panels started.
    QString readFolder, writeSuggestion;
    // What readyAlert answers, as if OK or Escape were pressed.
    bool ready = true;
    // What the question before an unsaved dump goes answers, and the questions asked.
    Unsaved unsaved = Unsaved::cancel;
    std::vector<QString> questions;

    std::optional<QString> fileToRead(QWidget*, const QString& folder) override {
        readFolder = folder;
        return next(filesToRead);
    }
    std::optional<QString> fileToWrite(QWidget*, const QString& suggestion) override {
        writeSuggestion = suggestion;
        return next(filesToWrite);
    }
    std::optional<QString> folderToUse(QWidget*, const QString&) override {
        return next(foldersToUse);
    }
    void showFolder(const QString& folder) override { shownFolders.push_back(folder); }
    void informationalAlert(QWidget*, const QString& title, const QString& message) override {
        record({false, title, message});
    }
    bool readyAlert(QWidget*, const QString& title, const QString& message) override {
        record({false, title, message});
        return ready;
    }
    void criticalAlert(QWidget*, const QString& title, const QString& message) override {
        record({true, title, message});
    }
    Unsaved askToSave(QWidget*, const QString& question) override {
        questions.push_back(question);
        return unsaved;
    }
    void beep() override { ++beeps; }
    // What the series dialog answers (its pause in seconds; nothing: Cancel), and what it
    // was shown.
    std::optional<int> seriesPause = 1;
    QStringList seriesShown;
    std::optional<int> seriesToSend(QWidget*, const QStringList& files, const QString&,
                                    double) override {
        seriesShown = files;
        return seriesPause;
    }

private:
    static std::optional<QString> next(std::deque<QString>& queue) {
        if (queue.empty()) {
            ADD_FAILURE() << "a file panel was opened that the test did not expect";
            return std::nullopt;
        }
        const QString answer = queue.front();
        queue.pop_front();
        if (answer.isEmpty()) {
            return std::nullopt;
        }
        return answer;
    }
    void record(const Alert& alert) {
        alerts.push_back(alert);
        if (onAlert) {
            onAlert(alert);
        }
    }
};

inline midi::event korvoEvent(uint8_t model, uint8_t kind, std::size_t size) {
    const std::vector<uint8_t> bytes = korvoMessage(model, kind, size);
    return midi::event(buffer(bytes.begin(), bytes.end()));
}

// The instrument of the window tests, on the virtual MIDI service.
inline const MidiServiceBase::EndpointId kSynthOut{"KoRvO", "Synth out"};
inline const MidiServiceBase::EndpointId kSynthIn{"KoRvO", "Synth in"};

class WindowTest : public ::testing::Test {
protected:
    // With `instrument`, the MIDI system has the synth's ports before the window starts.
    explicit WindowTest(bool instrument = false)
        : m_controller(instrument ? withInstrument(m_midi) : m_midi, m_dialogs) {}

    static VirtualMidiService& withInstrument(VirtualMidiService& midi) {
        midi.addSource(kSynthOut);
        midi.addDestination(kSynthIn);
        return midi;
    }

    void SetUp() override { m_controller.awakeFromNib(); }

    Ui::MainWindow& ui() { return m_controller.ui(); }
    // The title as the window shows it: Qt puts "*" for "[*]" while the dump is unsaved.
    QString title() {
        const QWidget& window = m_controller.window();
        return QString(window.windowTitle())
            .replace(QStringLiteral("[*]"),
                     window.isWindowModified() ? QStringLiteral("*") : QString());
    }

    // Open and Save as the user does them: the button, then the panel's answer.
    void openFile(const QString& path) {
        m_dialogs.filesToRead.push_back(path);
        m_controller.OpenDidPressed();
        ASSERT_TRUE(runUntil([&] { return m_dialogs.filesToRead.empty(); }));
        waitUntilOpened();
    }
    // A file is read off the window's thread: until the window has it, or said why not.
    void waitUntilOpened() {
        ASSERT_TRUE(runUntil([&] { return !m_controller.opening(); }));
    }
    void saveFile(const QString& path) {
        m_dialogs.filesToWrite.push_back(path);
        m_controller.SaveDidPressed();
        ASSERT_TRUE(runUntil([&] { return m_dialogs.filesToWrite.empty(); }));
    }

    VirtualMidiService m_midi;
    FakeDialogs m_dialogs;
    Controller m_controller;
    TempDir m_dir;
};
