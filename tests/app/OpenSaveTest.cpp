// Open and Save through the window, with the files they read and write.
#include "WindowFixture.h"
#include "midifile/MidiFileBytes.h"
#include "midifile/TQMidiFileReader.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

namespace {

using namespace midibytes;

Bytes metaEvent(uint8_t type, const Bytes& data) {
    Bytes b{0x00, 0xFF, type, static_cast<uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

const Bytes kOneMessage{0x60, 0xF0, 0x05, 0x31, 0x00, 0x38, 0x01, 0xF7};
const Bytes kEnd{0x01, 0xFF, 0x2F, 0x00};

class OpenSave : public WindowTest {
protected:
    QString file(const std::string& name, const Bytes& bytes) {
        return QString::fromStdString(m_dir.write(name, bytes));
    }
    // What the reader finds in a file we saved.
    struct Stored {
        std::vector<std::pair<uint8_t, Bytes>> metas;
        Dump dump;
    };
    Stored stored(const QString& path) {
        TQMidiFileReader reader(path.toStdString().c_str());
        Stored s;
        EXPECT_TRUE(reader.readTrackHeader());
        uint8_t type = 0;
        buffer data;
        while (reader.readMetaEvent(type, data)) {
            s.metas.emplace_back(type, Bytes(data.begin(), data.end()));
        }
        reader.readEvents(s.dump);
        return s;
    }
    void load(const Dump& dump, const std::string& trackname = "",
              const std::string& instrument = "", const buffer& meta7f = {}) {
        const std::string path = m_dir.file("source.mid");
        ASSERT_TRUE(dumpfile::writeDumpFile(path, dump, trackname, instrument, meta7f).ok());
        openFile(QString::fromStdString(path));
        ASSERT_EQ(m_controller.state(), Controller::kStateLoaded);
    }
};

TEST_F(OpenSave, OpensWhatSaveWroteAndKeepsItByteForByte) {
    load({korvoEvent(0x38, 0x01, 300), korvoEvent(0x38, 0x02, 20)}, "Bänk A", "STRATA",
         buffer{0x31, 0x7F, 0x00, 0x01});
    EXPECT_EQ(ui().edit_trackname->text(), QString::fromUtf8("Bänk A"));
    EXPECT_EQ(ui().edit_instrument->text(), "STRATA");
    EXPECT_EQ(m_controller.meta7f(), (buffer{0x31, 0x7F, 0x00, 0x01}));
    EXPECT_EQ(title(), "source.mid");
    EXPECT_EQ(m_controller.dump().size(), 2u);
    EXPECT_EQ(m_controller.dump()[0].m_offset, 2.0);

    // Open and save again, twice: the same file every time.
    const QString first = QString::fromStdString(m_dir.file("again1.mid"));
    saveFile(first);
    EXPECT_EQ(title(), "again1.mid");
    m_controller.ClearDidPresses();
    openFile(first);
    const QString second = QString::fromStdString(m_dir.file("again2.mid"));
    saveFile(second);
    EXPECT_EQ(TempDir::read(first.toStdString()), TempDir::read(second.toStdString()));
    const Stored s = stored(second);
    ASSERT_EQ(s.metas.size(), 3u);
    EXPECT_EQ(s.metas[0], (std::pair<uint8_t, Bytes>{0x03, {'B', 0xC3, 0xA4, 'n', 'k', ' ', 'A'}}));
    EXPECT_EQ(s.metas[2], (std::pair<uint8_t, Bytes>{0x7F, {0x31, 0x7F, 0x00, 0x01}}));
}

TEST_F(OpenSave, TwoTracksAreRefusedWithTheAlert) {
    const Bytes twoTracks = join({header(0, 2, 24), track(kOneMessage), track(kEnd)});
    openFile(file("two.mid", twoTracks));
    ASSERT_EQ(m_dialogs.alerts.size(), 1u);
    EXPECT_TRUE(m_dialogs.alerts[0].critical);
    EXPECT_EQ(m_dialogs.alerts[0].title, "Wrong file format");
    EXPECT_EQ(m_dialogs.alerts[0].message,
              "BankShuttle supports only midi files with format 0 (single track).");
    EXPECT_EQ(m_dialogs.beeps, 1);
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);

    // Format 1 with a single track is read all the same.
    openFile(file("f1.mid", join({header(1, 1, 24), track(join({kOneMessage, kEnd}))})));
    EXPECT_EQ(m_controller.state(), Controller::kStateLoaded);
    EXPECT_EQ(m_dialogs.alerts.size(), 1u);
}

TEST_F(OpenSave, FilesThatCannotBeTakenWholeAreRefusedWithTheReason) {
    m_controller.ui().edit_trackname->setText("typed");
    openFile(file("text.mid", {'h', 'e', 'l', 'l', 'o'}));
    // Cut inside the track: never a shorter dump, and the window keeps what it held.
    const Bytes whole = join({header(0, 1, 24), track(join({kOneMessage, kOneMessage, kEnd}))});
    openFile(file("cut.mid", Bytes(whole.begin(), whole.end() - 6)));
    ASSERT_EQ(m_dialogs.alerts.size(), 2u);
    EXPECT_EQ(m_dialogs.alerts[0].title, "Wrong file format");
    EXPECT_TRUE(m_dialogs.alerts[0].message.contains("not a Standard MIDI File"));
    EXPECT_TRUE(m_dialogs.alerts[1].critical);
    EXPECT_TRUE(m_dialogs.alerts[1].message.contains("the file is cut short at offset 36"))
        << m_dialogs.alerts[1].message.toStdString();
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);
    EXPECT_TRUE(m_controller.dump().empty());
    EXPECT_EQ(ui().edit_trackname->text(), "typed");

    // Meta events only: a legal file, and empty, although it had a name.
    openFile(
        file("meta.mid", join({header(0, 1, 24), track(join({metaEvent(0x03, {'N'}), kEnd}))})));
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);
    EXPECT_EQ(ui().edit_trackname->text(), "");
    EXPECT_EQ(title(), "empty.mid");

    // Cancelled panel: nothing at all.
    m_dialogs.filesToRead.push_back(QString());
    m_controller.OpenDidPressed();
    ASSERT_TRUE(runUntil([&] { return m_dialogs.filesToRead.empty(); }));
    EXPECT_EQ(m_controller.state(), Controller::kStateEmpty);
}

TEST_F(OpenSave, MetaEventRules) {
    // A zero byte ends a text; a 0x7F event is kept only when it is the maker's; later events
    // of a type win; a meta event after the first message is skipped, not read as a name.
    const Bytes events = join({metaEvent(0x03, {'A', 'B', 0x00, 'C'}), metaEvent(0x04, {'X'}),
                               metaEvent(0x04, {'Y'}), metaEvent(0x7F, {0x41, 0x01}), kOneMessage,
                               metaEvent(0x03, {'Z'}), kOneMessage, kEnd});
    openFile(file("rules.mid", join({header(0, 1, 24), track(events)})));
    EXPECT_EQ(ui().edit_trackname->text(), "AB");
    EXPECT_EQ(ui().edit_instrument->text(), "Y");
    EXPECT_TRUE(m_controller.meta7f().empty());
    EXPECT_EQ(m_controller.dump().size(), 2u);

    // Saved again: no 0x7F event.
    const QString path = QString::fromStdString(m_dir.file("out.mid"));
    saveFile(path);
    for (const auto& [type, data] : stored(path).metas) {
        EXPECT_NE(type, 0x7F);
    }
}

TEST_F(OpenSave, PlaceholdersAndEmptyNamesAreNotStored) {
    load({korvoEvent(0x38, 0x01, 10)});
    const QString path = QString::fromStdString(m_dir.file("p.mid"));
    ui().edit_trackname->setText("trackname");
    ui().edit_instrument->setText("instrument");
    saveFile(path);
    EXPECT_TRUE(stored(path).metas.empty());
    ui().edit_trackname->setText("");
    ui().edit_instrument->setText("");
    saveFile(path);
    EXPECT_TRUE(stored(path).metas.empty());
    ui().edit_trackname->setText("Trackname");
    ui().edit_instrument->setText(" instrument");
    saveFile(path);
    const Stored s = stored(path);
    ASSERT_EQ(s.metas.size(), 2u);
    EXPECT_EQ(s.metas[0].second, (Bytes{'T', 'r', 'a', 'c', 'k', 'n', 'a', 'm', 'e'}));
    EXPECT_EQ(s.metas[1].second.front(), ' ');
}

TEST_F(OpenSave, PacingLeadInAndChannelBitsInTheFileOnly) {
    // Rev.Kinet 30 (0x5C): paced, no channel.
    load({korvoEvent(0x5C, 0x01, 100), korvoEvent(0x5C, 0x01, 100), korvoEvent(0x5C, 0x01, 100)});
    QString path = QString::fromStdString(m_dir.file("rev.mid"));
    saveFile(path);
    Bytes bytes = TempDir::read(path.toStdString());
    // First message after the 2.0 s lead-in (96 ticks), the others after 0.3 s plus the
    // previous message's 100 bytes on the cable: 17 ticks.
    Stored s = stored(path);
    ASSERT_EQ(s.dump.size(), 3u);
    EXPECT_EQ(s.dump[0].m_offset, 2.0);
    const std::size_t first = 22;
    EXPECT_EQ(bytes[first], 96);
    EXPECT_EQ(bytes[first + 3 + 99], 17);
    EXPECT_EQ(bytes[first + 2 * (3 + 99)], 17);

    // STRATA 500 (0x38): channel bits cleared in the file, not in memory or the table.
    m_controller.ClearDidPresses();
    load({korvoEvent(0x38, 0x1B, 10)});
    path = QString::fromStdString(m_dir.file("strata.mid"));
    saveFile(path);
    s = stored(path);
    EXPECT_EQ(s.dump[0][4], 0x10);
    EXPECT_EQ(m_controller.dump()[0][4], 0x1B);
    QAbstractItemModel* model = ui().tableview_events->model();
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), "f0 31 00 38 1b");
}

TEST_F(OpenSave, CancelledOrFailedSaveHarmsNothing) {
    load({korvoEvent(0x38, 0x01, 10)});
    const QString titleBefore = title();
    m_dialogs.filesToWrite.push_back(QString());
    m_controller.SaveDidPressed();
    ASSERT_TRUE(runUntil([&] { return m_dialogs.filesToWrite.empty(); }));
    EXPECT_EQ(title(), titleBefore);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()),
                            std::filesystem::directory_iterator()),
              1); // only the file we loaded

    // A save that fails half-way (here: the file size limit of the process, which binds
    // root too): the alert, and the file that stood there stays whole.
    const std::string existing = m_dir.file("old.mid");
    const Bytes before{'o', 'l', 'd'};
    m_dir.write("old.mid", before);
    m_controller.ClearDidPresses();
    load({korvoEvent(0x38, 0x01, 20000)});
    const QString loadedTitle = title();
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{4096, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    saveFile(QString::fromStdString(existing));
    setrlimit(RLIMIT_FSIZE, &limit);
    ASSERT_EQ(m_dialogs.alerts.size(), 1u);
    EXPECT_TRUE(m_dialogs.alerts[0].critical);
    EXPECT_EQ(m_dialogs.alerts[0].title, "Could not save");
    EXPECT_TRUE(m_dialogs.alerts[0].message.contains("old.mid"))
        << m_dialogs.alerts[0].message.toStdString();
    EXPECT_EQ(m_dialogs.beeps, 1);
    EXPECT_EQ(title(), loadedTitle);
    EXPECT_EQ(TempDir::read(existing), before);
    // Nothing is left behind beside it.
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".bankshuttle-"), std::string::npos);
    }

    // A folder that does not exist.
    saveFile(QString::fromStdString(m_dir.file("missing/new.mid")));
    ASSERT_EQ(m_dialogs.alerts.size(), 2u);
    EXPECT_EQ(m_dialogs.alerts[1].title, "Could not save");
}

TEST_F(OpenSave, SysExFilesPanelsAndDrops) {
    // .syx in and out, by the name's extension.
    const Bytes raw = join({korvoMessage(0x5D, 0x01, 40, 1), korvoMessage(0x5D, 0x01, 9, 2)});
    openFile(QString::fromStdString(m_dir.write("in.syx", raw)));
    ASSERT_EQ(m_controller.dump().size(), 2u);
    EXPECT_EQ(title(), "in.syx");
    const QString out = QString::fromStdString(m_dir.file("out.syx"));
    saveFile(out);
    EXPECT_EQ(m_dialogs.writeSuggestion, QString::fromStdString(m_dir.file("in.syx")));
    EXPECT_EQ(TempDir::read(out.toStdString()), raw);
    saveFile(QString::fromStdString(m_dir.file("out.mid")));
    EXPECT_EQ(dumpfile::readDumpFile(m_dir.file("out.mid")).valueOr({}).dump.size(), 2u);

    // Open starts where the last file was; a drop opens a file whenever Open could.
    m_controller.ClearDidPresses();
    openFile(QString());
    EXPECT_EQ(m_dialogs.readFolder, m_dir.path().string().c_str());
    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        // As a drag does it: the drop goes where the entering drag was accepted.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&m_controller.window(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&m_controller.window(), &event);
        waitUntilOpened();
        return event.isAccepted();
    };
    EXPECT_FALSE(drop(QString::fromStdString(m_dir.write("notes.txt", {1}))));
    EXPECT_TRUE(drop(out));
    EXPECT_EQ(m_controller.dump().size(), 2u);
    EXPECT_FALSE(drop(out)); // loaded: Open is off, so are drops
}

} // namespace
