// The library pane at 10,000 and 100,000 files (folders of 1,000): for each step, how long
// until the pane shows it and the longest time the window's event loop did not run meanwhile
// (a frame is 16 ms). Steps: the first fill, a folder of 1,000 files removed, one file added,
// the filter typed, a sort by name, one file added with every row selected, and the pane
// closed or moved to another folder during its first scan. Then: a library of 10,000 files of which
// 1,000 are copies, until the pane marks every copy; and the planning of a series of 32 files of 70
// KB (read, identify, prepare) as Send Selected Files does it before its dialog. Offscreen; prints
// a table.
#include "LibraryPane.h"
#include "QtBench.h"
#include "midifile/DumpFiles.h"
#include "support/Messages.h"
#include "support/TempDir.h"
#include "transfer/SendPlan.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

namespace {

namespace fs = std::filesystem;
constexpr int kPerFolder = 1000;

struct Step {
    double shownMs = 0;   // until `done` held
    double longestMs = 0; // the longest gap between two passes of the event loop
};

// Runs `action`, then the event loop until `done` holds (at most 120 s). An action of
// `another` program (a file written or removed) runs on a thread of its own meanwhile.
Step measure(const std::function<void()>& action, const std::function<bool()>& done,
             bool another = false) {
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    const LoopStops stops; // counts the window's own action too: the loop resumes after it
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > 120'000) {
            loop.quit();
        }
    });
    check.start();
    std::thread program;
    if (another) {
        program = std::thread(action);
    } else {
        action();
    }
    loop.exec();
    if (program.joinable()) {
        program.join();
    }
    return {static_cast<double>(clock.elapsed()), stops.longestMs()};
}

// `files` backups, all different (no copies to confirm), in folders of 1,000.
void fill(const fs::path& root, int files) {
    for (int i = 0; i < files; ++i) {
        const auto bytes =
            korvoMessage(0x38, 0x01, 40 + static_cast<std::size_t>(i / 10'000),
                         static_cast<uint8_t>(i % 100), static_cast<uint8_t>(i / 100 % 100));
        const fs::path sub = root / ("set" + std::to_string(i / kPerFolder));
        if (i % kPerFolder == 0) {
            fs::create_directories(sub);
        }
        std::ofstream(sub / ("backup " + std::to_string(i) + ".syx"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
}

void print(const char* what, int files, const Step& step) {
    std::printf("%-32s %7d files: shown after %8.1f ms, longest stop %6.1f ms\n", what, files,
                step.shownMs, step.longestMs);
    std::fflush(stdout);
}

void run(int files) {
    TempDir dir;
    fill(dir.path(), files);
    LibraryPane pane;
    pane.resize(800, 600);
    pane.show();
    const auto rows = [&] { return pane.model().rowCount(); };
    print("fill", files,
          measure([&] { pane.setFolder(dir.path()); }, [&] { return rows() == files; }));
    print("a folder of 1,000 removed", files,
          measure([&] { fs::remove_all(dir.path() / "set1"); },
                  [&] { return rows() == files - kPerFolder; }, true));
    print("one file added", files,
          measure([&] { fill(dir.path() / "new", 1); },
                  [&] { return rows() == files - kPerFolder + 1; }, true));
    int seen = pane.listings();
    print("filter typed", files,
          measure([&] { pane.filter().setText(QStringLiteral("backup 12")); },
                  [&] { return pane.listings() > seen; }));
    seen = pane.listings();
    print("filter cleared", files,
          measure([&] { pane.filter().clear(); }, [&] { return pane.listings() > seen; }));
    seen = pane.listings();
    print("sorted by name (descending)", files,
          measure([&] { pane.table().sortByColumn(LibraryModel::kName, Qt::DescendingOrder); },
                  [&] { return pane.listings() > seen; }));

    // Every row selected: the selection is carried over to the new rows, twice (the second
    // time as the pane itself restored it).
    pane.table().selectAll();
    for (int added = 1; added <= 2; ++added) {
        print(added == 1 ? "one file added, all selected" : "another added, all selected", files,
              measure([&] { fill(dir.path() / ("more" + std::to_string(added)), 1); },
                      [&] { return rows() == files - kPerFolder + 1 + added; }, true));
        if (const std::size_t kept = pane.selectedFiles().size();
            kept != static_cast<std::size_t>(files - kPerFolder + 1)) {
            std::printf("  the selection holds %zu files, not %d\n", kept, files - kPerFolder + 1);
        }
    }

    // During a first scan: the pane closed, and the pane moved to another (empty) folder.
    TempDir empty;
    for (const bool close : {true, false}) {
        auto other = std::make_unique<LibraryPane>();
        other->setFolder(dir.path());
        QEventLoop wait;
        QTimer::singleShot(300, &wait, &QEventLoop::quit);
        wait.exec();
        QElapsedTimer clock;
        clock.start();
        if (close) {
            other.reset();
        } else {
            other->setFolder(empty.path());
        }
        const double took = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        Step step;
        if (!close) {
            step = measure([] {}, [&] { return other->listings() > 0; });
            step.shownMs += took;
            step.longestMs = std::max(step.longestMs, took);
        } else {
            step = {took, took};
        }
        print(close ? "closed during the first scan" : "moved during the first scan", files, step);
    }
}

void copies() {
    TempDir dir;
    constexpr int kFiles = 10'000, kCopies = 1'000;
    for (int i = 0; i < kFiles; ++i) {
        // Every tenth file holds the same backup as the one before it.
        const int held = i % 10 == 9 ? i - 1 : i;
        const auto bytes = korvoMessage(0x38, 0x01, 200, static_cast<uint8_t>(held % 100),
                                        static_cast<uint8_t>(held / 100 % 100));
        const fs::path sub = dir.path() / ("set" + std::to_string(i / kPerFolder));
        fs::create_directories(sub);
        std::ofstream(sub / ("backup " + std::to_string(i) + ".syx"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    LibraryPane pane;
    const auto marked = [&] {
        int n = 0;
        for (int row = 0; row < pane.model().rowCount(); ++row) {
            n += pane.model().entry(row).sameAs ? 1 : 0;
        }
        return n;
    };
    print("1,000 copies marked", kFiles,
          measure([&] { pane.setFolder(dir.path()); },
                  [&] { return pane.model().rowCount() == kFiles && marked() == kCopies; }));
}

void planSeries() {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 32; ++i) {
        std::vector<uint8_t> file;
        for (int m = 0; m < 70; ++m) {
            const auto bytes = korvoMessage(0x38, 0x01, 1000, static_cast<uint8_t>(m));
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
        paths.push_back(dir.write("file " + std::to_string(i) + ".syx", file));
    }
    QElapsedTimer clock;
    clock.start();
    std::size_t messages = 0;
    for (const std::string& path : paths) {
        const Result<dumpfile::Contents> loaded = loadDump(path);
        const auto type = identifyDump(&loaded.value().dump);
        messages += prepareSend(loaded.value().dump, *type, {}).value().sending.size();
    }
    std::printf("%-32s %7d files: %zu messages planned in %.1f ms\n", "a series of 70 KB files", 32,
                messages, static_cast<double>(clock.nsecsElapsed()) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // An argument: only that many files (the test suite's short run).
    if (argc > 1) {
        run(std::max(kPerFolder * 2, std::atoi(argv[1])));
        return 0;
    }
    run(10'000);
    run(100'000);
    copies();
    planSeries();
    return 0;
}
