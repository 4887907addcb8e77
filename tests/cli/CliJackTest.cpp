// receive and send of the command line companion over the JACK test server, against an
// instrument client.
#include "CliRunner.h"
#include "midifile/DumpFile.h"
#include "support/Attempts.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class CliOverJack : public ::testing::Test {
protected:
    void SetUp() override {
        m_instrument = JackInstrument::open("cli" + std::to_string(getpid()));
        ASSERT_NE(m_instrument, nullptr) << "the JACK test server is not running";
        // Every run of the program appends its client's count of missed cycles here.
        setenv("BANKSHUTTLE_JACK_STATS", m_dir.file("jack-stats").c_str(), 1);
    }
    // The programs' own count of their client's missed cycles, summed over every run so far.
    uint64_t ownMissedCycles() const {
        std::ifstream stats(m_dir.file("jack-stats"));
        uint64_t sum = 0, missed = 0, xruns = 0;
        std::string word1, word2;
        while (stats >> word1 >> missed >> word2 >> xruns) {
            sum += missed;
        }
        return sum;
    }
    // Another attempt needs that count to have moved, and starts once the instrument is quiet.
    AttemptRules rules() {
        return {[this] { return ownMissedCycles(); }, [this] { m_instrument->waitUntilQuiet(); }};
    }
    // Runs the command in the background while the test plays the instrument.
    std::future<CliResult> start(std::vector<std::string> args) {
        return std::async(std::launch::async, [args] { return jack(args); });
    }
    // The command on JACK, whatever else the machine offers.
    static CliResult jack(std::vector<std::string> args) {
        args.insert(args.begin(), {"--midi-api", "jack"});
        return runCli(args);
    }

    // A failed transfer that names our own client's missed cycles: said, and to be tried again.
    static bool ownCyclesMissed(const CliResult& r) {
        return r.exit == 1 && r.err.find("JACK missed processing cycles") != std::string::npos;
    }
    // `send ARGS --output` the instrument, once more while it names our own missed cycles;
    // `got` is what the instrument heard of the last attempt.
    CliResult sendUntilNoCycleMissed(std::vector<std::string> args,
                                     std::vector<JackInstrument::Event>& got) {
        args.insert(args.begin(), "send");
        args.insert(args.end(), {"--output", m_instrument->name() + ": in"});
        CliResult r;
        requireExactInOneOfThree(rules(), [&] {
            const std::size_t before = m_instrument->received().size();
            r = runCli(args);
            m_instrument->waitUntilQuiet();
            got = m_instrument->received();
            got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
            return ownCyclesMissed(r) ? Attempt::ownCyclesMissed : Attempt::exact;
        });
        return r;
    }
    // A receive while the instrument plays `dump`.
    CliResult receiveWhilePlaying(std::vector<std::string> args, const std::vector<Bytes>& dump) {
        args.insert(args.begin(), {"receive", "--input", m_instrument->name() + ": out"});
        auto running = start(args);
        EXPECT_TRUE(m_instrument->waitUntilListenedTo()) << "the receive never connected";
        m_instrument->play(dump);
        return running.get();
    }

    std::unique_ptr<JackInstrument> m_instrument;
    TempDir m_dir;
};

TEST_F(CliOverJack, PortsListTheInstrument) {
    const CliResult r = jack({"ports"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find(": " + m_instrument->name() + ": out\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": " + m_instrument->name() + ": in\n"), std::string::npos);
    EXPECT_EQ(r.out.find("BankShuttle"), std::string::npos); // never our own ports
}

TEST_F(CliOverJack, ReceiveStoresWhatTheInstrumentSent) {
    const std::vector<Bytes> dump{korvoMessage(0x5D, 0x01, 3000, 1),
                                  korvoMessage(0x5D, 0x01, 20, 2),
                                  korvoMessage(0x5D, 0x01, 700, 3)};
    for (const std::string name : {"backup.syx", "backup.mid"}) {
        requireExactInOneOfThree(rules(), [&] {
            const CliResult r = receiveWhilePlaying(
                {"-o", m_dir.file(name), "--timeout", "5", "--trackname", "Nightly"}, dump);
            if (ownCyclesMissed(r)) {
                return Attempt::ownCyclesMissed;
            }
            EXPECT_EQ(r.exit, 0) << r.err;
            EXPECT_NE(r.out.find("received 3 messages (OMNIGRID - Presets)"), std::string::npos);
            return Attempt::exact;
        });
    }
    Bytes raw;
    for (const Bytes& m : dump) {
        raw.insert(raw.end(), m.begin(), m.end());
    }
    EXPECT_EQ(TempDir::read(m_dir.file("backup.syx")), raw);
    const auto mid = dumpfile::readDumpFile(m_dir.file("backup.mid"));
    ASSERT_TRUE(mid);
    ASSERT_EQ(mid->dump.size(), 3u);
    EXPECT_EQ(Bytes(mid->dump[0].begin(), mid->dump[0].end()), dump[0]);
    EXPECT_EQ(mid->trackname.value_or(""), "Nightly");
}

// -o DIR/ names the backup after its type and the day, and numbers it rather than replace.
TEST_F(CliOverJack, ReceiveIntoAFolderNamesTheFile) {
    char day[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&now));
    const std::string taken = m_dir.write("OMNIGRID - Presets " + std::string(day) + ".mid", {'o'});
    CliResult r;
    requireExactInOneOfThree(rules(), [&] {
        r = receiveWhilePlaying({"-o", m_dir.path().string() + "/", "--timeout", "5"},
                                {korvoMessage(0x5D, 0x01, 300, 1)});
        return ownCyclesMissed(r) ? Attempt::ownCyclesMissed : Attempt::exact;
    });
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::string written = m_dir.file("OMNIGRID - Presets " + std::string(day) + " 2.mid");
    EXPECT_NE(r.out.find("received 1 messages (OMNIGRID - Presets) into " + written + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(dumpfile::readDumpFile(written));
    EXPECT_EQ(TempDir::read(taken), Bytes{'o'});
}

TEST_F(CliOverJack, ReceiveOfNothingWritesNothing) {
    const Bytes before{'o', 'l', 'd'};
    const std::string path = m_dir.write("kept.mid", before);
    const CliResult r = runCli({"receive", "--input", "cli", "-o", path, "--timeout", "1"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("nothing received: No complete SysEx message arrived within 1 s.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(TempDir::read(path), before);

    // A dump whose last message is cut off: the same, with the reason in one line.
    CliResult cut;
    requireExactInOneOfThree(rules(), [&] {
        cut = receiveWhilePlaying({"-o", path, "--timeout", "5"},
                                  {korvoMessage(0x5D, 0x01, 300, 1), {0xF0, 0x31, 0x00}});
        return ownCyclesMissed(cut) ? Attempt::ownCyclesMissed : Attempt::exact;
    });
    EXPECT_EQ(cut.exit, 1);
    EXPECT_TRUE(cut.err.ends_with("\nbankshuttle-cli: receive incomplete: The last message was "
                                  "cut off. Nothing was kept.\n"))
        << cut.err;
    EXPECT_EQ(TempDir::read(path), before);
}

TEST_F(CliOverJack, SendWritesTheChannelAfterAllNotesOff) {
    // A STRATA 500 dump stored with channel 0; sent on channel 6.
    const std::string path = m_dir.write("strata.syx", [] {
        Bytes all;
        for (uint8_t i = 0; i < 5; ++i) {
            const Bytes m = korvoMessage(0x38, 0x20, 200, i);
            all.insert(all.end(), m.begin(), m.end());
        }
        return all;
    }());
    std::vector<JackInstrument::Event> got;
    const CliResult r = sendUntilNoCycleMissed({path, "--channel", "6"}, got);
    ASSERT_EQ(r.exit, 0) << r.err;
    // The instruction is shown; without a terminal nobody is asked to press Enter.
    EXPECT_NE(r.out.find("On your STRATA 500 please press\nMIDI -> Cursor right to \"BLoadGo\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("sent 5 messages"), std::string::npos);
    ASSERT_EQ(got.size(), 17u + 5);
    EXPECT_EQ(got[16].bytes, (Bytes{0xB0, 0x7B, 0x00}));
    for (uint8_t i = 0; i < 5; ++i) {
        Bytes expected = korvoMessage(0x38, 0x25, 200, i);
        EXPECT_EQ(got[17 + i].bytes, expected) << int(i);
    }
}

TEST_F(CliOverJack, SendWaitsTheChosenPauseBetweenMessages) {
    Bytes all;
    for (uint8_t i = 0; i < 4; ++i) {
        const Bytes m = korvoMessage(0x5D, 0x01, 100, i);
        all.insert(all.end(), m.begin(), m.end());
    }
    const std::string path = m_dir.write("omnigrid.syx", all);
    std::vector<JackInstrument::Event> got;
    const CliResult r = sendUntilNoCycleMissed({path, "--pause", "150"}, got);
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.err.find("(4 messages, about 1 s)"), std::string::npos) << r.err;
    ASSERT_EQ(got.size(), 17u + 4);
    // In JACK's frames (the test server runs at 48 kHz): the pause follows the cable time.
    for (std::size_t i = 18; i < got.size(); ++i) {
        EXPECT_GE(got[i].frame - got[i - 1].frame, (150'000 + 100 * 320) * 48 / 1000) << i;
    }
}

TEST_F(CliOverJack, SendRefusesWhatJackCannotCarryBeforeAnyOfItGoesOut) {
    const std::string path = m_dir.write("os.syx", [] {
        Bytes all;
        for (std::size_t size : {100, 60000, 100}) {
            const Bytes m = korvoMessage(0x38, 0x20, size);
            all.insert(all.end(), m.begin(), m.end());
        }
        return all;
    }());
    const CliResult r = runCli({"send", path, "--output", m_instrument->name() + ": in"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("Message 2 is 60,000 bytes; JACK carries at most 32,7"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" bytes in one event. Send this dump over ALSA.\n"), std::string::npos);
    // Nor can JACK hand a message over slower: it travels in one event.
    const std::string small = m_dir.write("small.syx", korvoMessage(0x38, 0x20, 100));
    const CliResult slow =
        runCli({"send", small, "--output", m_instrument->name() + ": in", "--rate", "500"});
    EXPECT_EQ(slow.exit, 1);
    EXPECT_NE(slow.err.find("bankshuttle-cli: transmission refused: JACK hands each message over "
                            "in one piece and cannot send slower than full speed. Choose full "
                            "speed, or send this dump over ALSA.\n"),
              std::string::npos)
        << slow.err;
    m_instrument->waitUntilQuiet();
    EXPECT_TRUE(m_instrument->received().empty()); // not even All Notes Off
}

TEST_F(CliOverJack, PortNamesMustBeUnambiguousUnlessGivenWhole) {
    ASSERT_TRUE(m_instrument->registerPort("in 2", false));
    std::this_thread::sleep_for(100ms);
    const std::string path = m_dir.write("d.syx", korvoMessage(0x5D, 0x01, 10, 0));
    const CliResult r = jack({"send", path, "--output", m_instrument->name() + ": i"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("is ambiguous; it matches: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(m_instrument->name() + ": in 2"), std::string::npos);
    EXPECT_TRUE(m_instrument->received().empty());
    // The whole name of one port picks it, although it is also part of "in 2".
    const CliResult whole =
        jack({"send", path, "--output", m_instrument->name() + ": in", "--yes"});
    EXPECT_EQ(whole.exit, 0) << whole.err;
    EXPECT_NE(whole.out.find("sent 1 messages to " + m_instrument->name() + ": in\n"),
              std::string::npos)
        << whole.out;
}

TEST_F(CliOverJack, ReceivesDumpAfterDumpKeepingEachNewBackupOnce) {
    const Bytes held = korvoMessage(0x5D, 0x01, 300, 1);
    const std::string folder = m_dir.file("lib");
    Bytes cut = korvoMessage(0x5D, 0x01, 400, 3);
    cut.resize(200); // the instrument stops inside a message
    const std::vector<std::vector<Bytes>> dumps{
        {korvoMessage(0x38, 0x01, 500, 2)}, {held}, {cut}, {korvoMessage(0x38, 0x01, 600, 4)}};
    requireExactInOneOfThree(rules(), [&] {
        // Each attempt starts from the same library: what a failed one kept is gone.
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        m_dir.write("lib/held.syx", held);
        auto running = start({"receive", "--input", m_instrument->name() + ": out", "--many",
                              "--count", "4", "-o", folder + "/"});
        EXPECT_TRUE(m_instrument->waitUntilListenedTo()) << "the receive never connected";
        for (const auto& dump : dumps) {
            m_instrument->play(dump);
            m_instrument->waitUntilPlayed(5s);
            std::this_thread::sleep_for(700ms); // the silence that ends a dump, and more
        }
        const CliResult r = running.get();
        if (ownCyclesMissed(r) || r.err.find("JACK missed") != std::string::npos) {
            return Attempt::ownCyclesMissed;
        }
        EXPECT_EQ(r.exit, 1) << r.err; // one dump was lost
        EXPECT_NE(r.err.find("dump 1: kept as STRATA 500 - Presets "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("dump 2: same as held.syx: not kept again\n"), std::string::npos);
        EXPECT_NE(r.err.find("dump 3: incomplete: the last message was cut off; not kept\n"),
                  std::string::npos);
        EXPECT_NE(r.err.find("dump 4: kept as STRATA 500 - Presets "), std::string::npos);
        return Attempt::exact;
    });
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
    }
    EXPECT_EQ(files, 3u); // held.syx and the two new backups

    // The instrument switched off ends the series, said, with what it had kept.
    auto running =
        start({"receive", "--input", m_instrument->name() + ": out", "--many", "-o", folder + "/"});
    EXPECT_TRUE(m_instrument->waitUntilListenedTo());
    m_instrument->close();
    const CliResult gone = running.get();
    EXPECT_EQ(gone.exit, 1);
    EXPECT_NE(gone.err.find("the series ended: "), std::string::npos) << gone.err;
}

TEST_F(CliOverJack, SendsASeriesOfFilesInOrderAskingOncePerInstruction) {
    // STRATA 500's on channel 1 already (byte 4's low bits 0), as --channel's default writes.
    const Bytes s1 = korvoMessage(0x38, 0x00, 200, 1), s2 = korvoMessage(0x38, 0x00, 300, 2);
    const Bytes gravel = korvoMessage(0x5B, 0x01, 100, 3);
    const std::vector<std::string> files{m_dir.write("s1.syx", s1), m_dir.write("s2.syx", s2),
                                         m_dir.write("g.syx", gravel)};
    std::vector<JackInstrument::Event> got;
    const CliResult r =
        sendUntilNoCycleMissed({files[0], files[1], files[2], "--yes", "--between", "1"}, got);
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("sent 3 files to"), std::string::npos) << r.out;
    // Two files of one model ask once, the third's model once more.
    std::size_t asked = 0;
    for (std::size_t at = 0; (at = r.out.find("please press", at)) != std::string::npos; ++at) {
        ++asked;
    }
    EXPECT_EQ(asked, 1u) << r.out; // STRATA 500's; Gravel 40's words differ
    EXPECT_NE(r.out.find("send off the preset dump"), std::string::npos) << r.out;
    // All Notes Off once (17 short messages), then the three in order, a second apart.
    ASSERT_EQ(got.size(), 17u + 3) << r.err;
    EXPECT_EQ(got[17].bytes, s1);
    EXPECT_EQ(got[18].bytes, s2);
    EXPECT_EQ(got[19].bytes, gravel);
    EXPECT_GE(got[18].frame - got[17].frame, m_instrument->sampleRate() * 9 / 10);

    // One file that cannot be sent refuses them all: nothing reaches the instrument.
    Bytes cut = s1;
    cut.resize(50);
    const std::string broken = m_dir.write("cut.syx", cut);
    const std::size_t before = m_instrument->received().size();
    const CliResult refused =
        jack({"send", files[0], broken, "--yes", "--output", m_instrument->name() + ": in"});
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find(broken + ": "), std::string::npos) << refused.err;
    m_instrument->waitUntilQuiet();
    EXPECT_EQ(m_instrument->received().size(), before);
}

TEST_F(CliOverJack, CtrlCEndsATransferCleanly) {
    // Gravel 40 messages are paced at 0.3 s: 20 of them take over 8 s with the lead-in.
    const std::string path = m_dir.write("gravel.syx", [] {
        Bytes all;
        for (uint8_t i = 0; i < 20; ++i) {
            const Bytes m = korvoMessage(0x5B, 0x01, 100, i);
            all.insert(all.end(), m.begin(), m.end());
        }
        return all;
    }());
    // Runs the command in the background; once `ready` says so, sends it Ctrl+C's signal
    // `times` times in a row.
    const auto interrupted = [&](const std::vector<std::string>& args,
                                 const std::function<bool()>& ready, int times = 1) {
        std::string command = shellQuoted(BANKSHUTTLE_CLI) + " --midi-api jack";
        for (const std::string& a : args) {
            command += " " + shellQuoted(a);
        }
        std::remove(m_dir.file("pid").c_str());
        auto running = std::async(std::launch::async, [&] {
            return std::system(("sh -c " + shellQuoted(command + " 2>" + m_dir.file("err") +
                                                       " & echo $! >" + m_dir.file("pid") +
                                                       "; wait $!; echo $? >" + m_dir.file("exit")))
                                   .c_str());
        });
        if (!ready()) {
            const auto err = TempDir::read(m_dir.file("err"));
            ADD_FAILURE() << "never ready; the program said: "
                          << std::string(err.begin(), err.end());
        }
        pid_t pid = 0;
        for (int i = 0; i < 1000 && !(std::ifstream(m_dir.file("pid")) >> pid); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_GT(pid, 0);
        for (int i = 0; i < times; ++i) {
            kill(pid, SIGINT);
        }
        running.get();
    };
    const auto said = [&](const std::string& name) {
        const auto bytes = TempDir::read(m_dir.file(name));
        return std::string(bytes.begin(), bytes.end());
    };
    // Three messages in: the transmission is well under way.
    interrupted({"send", path, "--output", m_instrument->name() + ": in", "--yes"},
                [&] { return m_instrument->waitForReceived(17 + 3).size() >= 17 + 3; });
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(said("exit"), "130\n");
    const std::size_t heard = m_instrument->received().size() - 17;
    EXPECT_LT(heard, 20u);
    EXPECT_NE(said("err").find("transmission stopped: " + std::to_string(heard) +
                               " of 20 messages were sent"),
              std::string::npos)
        << said("err");
    const std::string err = said("err");
    const std::string stopping = "stopping...";
    EXPECT_NE(err.find(stopping), std::string::npos) << err;
    for (const auto& event : m_instrument->received()) {
        EXPECT_LT(event.at, stopped); // nothing after the end
    }

    // Twice: the program ends at once, whichever Ctrl+C it was still handling, and says its
    // line at most once.
    const std::size_t before = m_instrument->received().size();
    interrupted(
        {"send", path, "--output", m_instrument->name() + ": in", "--yes"},
        [&] { return m_instrument->waitForReceived(before + 17 + 1).size() >= before + 17 + 1; },
        2);
    const auto ended = std::chrono::steady_clock::now();
    EXPECT_EQ(said("exit"), "130\n");
    const std::string twice = said("err");
    EXPECT_EQ(twice.find(stopping), twice.rfind(stopping)) << twice;
    for (const auto& event : m_instrument->received()) {
        EXPECT_LT(event.at, ended);
    }
    // The program ended at once, its JACK client unclosed: the server removes it on its own.
    EXPECT_TRUE(m_instrument->waitUntilNoneSends());

    interrupted({"receive", "--input", m_instrument->name() + ": out", "-o", m_dir.file("r.mid")},
                [&] { return m_instrument->waitUntilListenedTo(); });
    EXPECT_EQ(said("exit"), "130\n");
    EXPECT_NE(said("err").find("receive stopped: Nothing was kept.\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("r.mid")));
}

} // namespace
