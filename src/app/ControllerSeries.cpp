// Send Selected Files: the files chosen in the library pane, sent one after another to the
// output with one opening (All Notes Off once), the instrument's instruction asked once for a
// run of files that need the same, and a pause between files.
#include "Controller.h"
#include "LibraryPane.h"
#include "ProgressBar.h"
#include "midifile/DumpFiles.h"
#include "transfer/SendPlan.h"
#include "ui_MainWindow.h"

#include <QComboBox>

#include <numeric>

bool Controller::canSendFiles() const {
    return m_state != kStateBusy && !opening() && m_destinations != 0 && m_library != nullptr &&
           m_library->table().selectionModel()->hasSelection();
}

SendChoices Controller::sendChoices() const {
    SendChoices choices;
    choices.channel = static_cast<uint8_t>(std::max(0, m_ui->popup_channel->currentIndex()));
    choices.minimumPauseMs = m_ui->popup_pause->currentData().toInt(); // 0: the model's own
    choices.bytesPerSecond = m_ui->popup_speed->currentData().toUInt();
    return choices;
}

void Controller::SendFilesDidPressed() {
    const auto files = m_library->selectedFiles();
    if (!canSendFiles() || files.empty()) {
        m_dialogs.beep();
        return;
    }
    // Every file is read and planned, off this thread, before anything goes out: one that
    // cannot be sent refuses the series.
    struct Planned {
        Series series;
        std::vector<SendPlan> plans;
        QStringList lines;
        std::string refusal; // "<file>: <why>"
    };
    auto planned = std::make_shared<Planned>();
    m_opener->run(
        [planned, files, choices = sendChoices()] {
            for (const auto& [path, name] : files) {
                Result<dumpfile::Contents> loaded = loadDump(path.string());
                std::string why;
                if (!loaded) {
                    why = loaded.error();
                } else if (loaded->dump.empty()) {
                    why = "the file holds no message to send";
                } else {
                    const auto type = identifyDump(&loaded->dump);
                    Result<SendPlan> plan = prepareSend(loaded->dump, *type, choices);
                    if (!plan) {
                        why = plan.error();
                    } else {
                        planned->series.instructions.emplace_back(type->transmitInstruction());
                        planned->series.seconds.push_back(plan->estimateSeconds);
                        planned->plans.push_back(std::move(plan.value()));
                        planned->lines.push_back(
                            name + QStringLiteral(" (") +
                            QString::fromUtf8(type->title().data(),
                                              static_cast<qsizetype>(type->title().size())) +
                            QStringLiteral(")"));
                    }
                }
                if (!why.empty()) {
                    planned->refusal = name.toStdString() + ": " + sentence(why).toStdString();
                    return;
                }
                planned->series.names.push_back(name.toStdString());
            }
        },
        [this, planned] {
            updateControls();
            if (!planned->refusal.empty()) {
                show(sendRefused(planned->refusal));
                return;
            }
            sendPlannedFiles(std::move(planned->series), std::move(planned->plans), planned->lines);
        });
    updateControls();
}

void Controller::sendPlannedFiles(Series series, std::vector<SendPlan> plans,
                                  const QStringList& lines) {
    const double sending = std::accumulate(series.seconds.begin(), series.seconds.end(), 0.0);
    const QString output = m_ui->popup_output->currentText();
    const std::optional<int> between =
        m_dialogs.seriesToSend(m_window.get(), lines, output, sending);
    if (!between) {
        return;
    }
    series.between = *between;
    series.stateBefore = m_state;
    const double total = sending + series.between * static_cast<double>(series.names.size() - 1);
    switchToState(kStateBusy);
    m_progress->show(total / (kProgressTickMs / 1000.0));
    startProgressTimer();
    m_series = std::move(series);
    m_transmitSession =
        std::make_unique<TransmitSession>(m_midi, output.toStdString(), std::move(plans));
    updateControls();
    m_transmitSession->open([this] { post([this] { seriesNext(); }); },
                            [this](std::size_t file, std::string why) {
                                post([this, file, why = std::move(why)] {
                                    const std::string name = m_series->names[file];
                                    seriesEnded();
                                    show(sendRefused(name + ": " + why));
                                });
                            });
}

void Controller::seriesNext() {
    const std::size_t file = m_series->results.size();
    const std::string& instruction = m_series->instructions[file];
    if (!instruction.empty() && (file == 0 || instruction != m_series->instructions[file - 1])) {
        m_timerstatus = kTimerWaiting; // the bar waits with the user
        if (m_transmitSession->stopRequested() ||
            !m_dialogs.readyAlert(m_window.get(), QStringLiteral("Ready?"),
                                  QString::fromStdString(instruction))) {
            // Escape: this file and the rest are not sent.
            const TransferReport report = seriesReport(m_series->names, m_series->results);
            seriesEnded();
            show(report);
            return;
        }
    }
    double left = std::accumulate(m_series->seconds.begin() + static_cast<long>(file),
                                  m_series->seconds.end(), 0.0);
    left += m_series->between * static_cast<double>(m_series->names.size() - 1 - file);
    setStatus(QStringLiteral("File %1 of %2: %3, about %4 left")
                  .arg(file + 1)
                  .arg(m_series->names.size())
                  .arg(QString::fromStdString(m_series->names[file]), durationText(left)));
    m_timerstatus = kTimerCounting;
    m_transmitSession->send(
        [this](TransmitSession::Result result) {
            post([this, result] { seriesFileDone(result); });
        },
        std::chrono::seconds(file == 0 ? 0 : m_series->between));
}

void Controller::seriesFileDone(const TransmitSession::Result& result) {
    m_series->results.push_back(result);
    if (sendReport(result).ending == TransferReport::Ending::done &&
        m_series->results.size() < m_series->names.size()) {
        seriesNext();
        return;
    }
    const TransferReport report = seriesReport(m_series->names, m_series->results);
    seriesEnded();
    show(report);
}

void Controller::seriesEnded() {
    m_transmitSession.reset(); // its thread waits for a next file that never comes: stopped
    m_timerstatus = kTimerStopped;
    m_progress->hide();
    setStatus(QString());
    switchToState(m_series->stateBefore);
    m_series.reset();
    updateControls();
}
