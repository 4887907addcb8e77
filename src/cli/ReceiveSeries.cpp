// receive --many: dump after dump from one input into a folder, each kept under its own name
// unless the folder holds its backup already, until Ctrl+C, a count, or the input goes.
#include "Commands.h"

#include "Interruption.h"
#include "dumptypes/KorvoDumptype.h"
#include "midifile/AtomicFile.h"
#include "midifile/BackupName.h"
#include "midifile/Library.h"
#include "midifile/SameBackup.h"
#include "transfer/ReceiveSession.h"
#include "transfer/TransferReport.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>

namespace cli {

int receiveSeries(MidiService& midi, const std::string& portName,
                  const std::filesystem::path& folder, unsigned long count) {
    // What the folder holds already, to tell a backup it has from a new one.
    const Result<std::vector<library::Entry>> listed = library::read(folder);
    if (!listed) {
        return failed(listed.error());
    }
    std::vector<library::Entry> known = listed.value();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<ReceiveSession::Result> ended;
    std::optional<ReceiveSession::Result> finished;
    ReceiveSession session(midi, portName, std::chrono::milliseconds(0));
    // Ctrl+C ends the series once the dump being written (and those that ended before) is
    // kept; a second one ends the program at once, the dump being written lost and said.
    std::atomic<unsigned long> writing{0}; // the dump being written, or 0
    const Interruption interruption(
        [&session] { session.stop(); },
        [&] {
            // On the watcher's thread, not in a handler: it may lock and print.
            const unsigned long dump = writing.load();
            if (dump != 0) {
                // Before its temporary file was made, or just after it was placed, nothing was
                // removed, and whether the dump is a file cannot be told.
                std::cerr << "\ndump " << dump
                          << (removeWriteUnderWay() ? ": not kept" : ": may not have been kept")
                          << ": the program was ended while it was written\n";
            }
            std::lock_guard lock(mutex);
            const auto waiting = std::count_if(ended.begin(), ended.end(), [](const auto& result) {
                return result.outcome.complete();
            });
            if (waiting != 0) {
                std::cerr << waiting
                          << " more complete dumps were not kept: the program was ended before "
                             "they were written\n";
            }
        });
    ReceiveSession::SeriesEvents events;
    events.waiting = [&] {
        std::cerr << "waiting for SysEx dumps from " << portName << " (Ctrl+C ends)...\n";
    };
    events.ended = [&](ReceiveSession::Result result) {
        std::lock_guard lock(mutex);
        ended.push_back(std::move(result));
        wake.notify_all();
    };
    events.finished = [&](ReceiveSession::Result result) {
        std::lock_guard lock(mutex);
        finished = std::move(result);
        wake.notify_all();
    };
    session.startSeries(std::move(events));

    unsigned long dumps = 0;
    bool lost = false;
    for (;;) {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return !ended.empty() || finished; });
        if (ended.empty()) {
            break; // finished, and every dump before it handled
        }
        ReceiveSession::Result result = std::move(ended.front());
        ended.pop_front();
        lock.unlock();
        ++dumps;
        std::cerr << "dump " << dumps << ": ";
        if (!result.outcome.complete()) {
            lost = true;
            std::cerr << dumpfate::incomplete(result.outcome.reason) << "\n";
        } else {
            std::vector<const library::Entry*> entries;
            for (const library::Entry& e : known) {
                entries.push_back(&e);
            }
            if (const library::Entry* held = samebackup::holder(folder, result.dump, entries)) {
                std::cerr << dumpfate::sameAs(held->path) << "\n";
            } else {
                dumpfile::Contents contents;
                contents.dump = std::move(result.dump);
                const std::string title(identifyDump(&contents.dump)->title());
                writing = dumps;
                const Result<std::string> stored = backupname::storeAsNew(
                    folder.string() + "/", backupname::proposed(title, backupname::today()),
                    contents);
                writing = 0;
                if (!stored) {
                    lost = true;
                    std::cerr << "not kept: " << stored.error() << "\n";
                } else {
                    const std::string name =
                        std::filesystem::path(stored.value()).filename().string();
                    std::cerr << dumpfate::keptAs(name) << " (" << title << ", "
                              << contents.dump.size() << " messages)\n";
                    library::Entry entry;
                    entry.path = name;
                    entry.fingerprint = samebackup::fingerprint(contents.dump);
                    known.push_back(std::move(entry));
                }
            }
        }
        if (count != 0 && dumps == count) {
            session.stop();
        }
    }
    const RecordingFailure ending = finished->outcome.failure;
    const bool byCount = count != 0 && dumps >= count;
    if (ending != RecordingFailure::stopped) {
        return failed("the series ended: " + finished->outcome.reason + " (" +
                      std::to_string(dumps) + (dumps == 1 ? " dump" : " dumps") + ")");
    }
    std::cerr << dumps << (dumps == 1 ? " dump" : " dumps") << " received\n";
    if (lost) {
        return kFailed;
    }
    return byCount ? kOk : Interruption::kExitStatus;
}

} // namespace cli
