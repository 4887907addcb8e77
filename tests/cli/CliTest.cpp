// The command line companion, run as users run it: help, info, convert and every refusal.
#include "CliRunner.h"
#include "midifile/DumpFile.h"
#include "support/Messages.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes joined(std::initializer_list<Bytes> messages) {
    Bytes all;
    for (const Bytes& m : messages) {
        all.insert(all.end(), m.begin(), m.end());
    }
    return all;
}

int lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class Cli : public ::testing::Test {
protected:
    bool exists(const std::string& name) { return std::filesystem::exists(m_dir.file(name)); }
    TempDir m_dir;
};

TEST_F(Cli, HelpOnEveryLevel) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"ports", "--help"},
                                               {"info", "--help"},
                                               {"receive", "--help"},
                                               {"send", "--help"},
                                               {"convert", "-h"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exit, 0) << args[0];
        EXPECT_EQ(r.out.rfind("usage: bankshuttle-cli", 0), 0u) << args[0];
        EXPECT_TRUE(r.err.empty());
    }
}

TEST_F(Cli, WrongUsageIsExitTwoWithOneLine) {
    const std::string syx = m_dir.write("d.syx", korvoMessage(0x5D, 0x01, 10, 0x33, 0));
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"dance"},
             {"--midi-api", "coremidi", "ports"},
             {"info"},
             {"info", syx, "--colour"},
             {"send", syx},
             {"send", syx, "--output", "0", "--channel", "17"},
             {"send", syx, "--output", "0", "--channel", "x"},
             {"send", syx, "--output", "0", "--pause", "10001"},
             {"send", syx, "--output", "0", "--pause", "+50"},
             {"send", syx, "--output", "0", "--rate", "9"},
             {"send", syx, "--output", "0", "--rate", "3126"},
             {"info", syx, "--message", " 1"},
             {"receive", "-o", m_dir.file("x.mid")},
             {"receive", "--input", "0", "-o", m_dir.file("x.txt")},
             {"receive", "--input", "0", "-o", m_dir.file("x.mid"), "--timeout", "0"},
             {"convert", syx},
             {"convert", syx, m_dir.file("out.wav")}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exit, 2) << (args.empty() ? "" : args[0]) << " " << r.err;
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("bankshuttle-cli: ", 0), 0u);
    }
    EXPECT_FALSE(exists("x.mid"));
}

TEST_F(Cli, InfoInTextAndJson) {
    const std::string path = m_dir.file("strata.mid");
    ASSERT_TRUE(dumpfile::writeDumpFile(
                    path,
                    {midi::event(buffer{0xF0, 0x31, 0x00, 0x38, 0x02, 0xF7}),
                     midi::event(buffer{0xF0, 0x31, 0x00, 0x38, 0x02, 0x01, 0xF7}, 0.0)},
                    "Bank \"A\"", "", buffer{0x31, 0x01})
                    .ok());
    CliResult r = runCli({"info", path, "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "{\"type\": \"STRATA 500 - Presets\", \"trackname\": \"Bank \\\"A\\\"\", "
                     "\"instrument\": null, \"meta7f\": true, \"messages\": ["
                     "{\"header\": \"f0 31 00 38 02\", \"size\": 6, \"offset\": 2}, "
                     "{\"header\": \"f0 31 00 38 02\", \"size\": 7, \"offset\": 0}]}\n");

    r = runCli({"info", path});
    ASSERT_EQ(r.exit, 0);
    EXPECT_NE(r.out.find("type:       STRATA 500 - Presets\n"), std::string::npos);
    EXPECT_NE(r.out.find("messages:   2\n"), std::string::npos);
    EXPECT_NE(r.out.find("meta7f:     kept\n"), std::string::npos);
    EXPECT_NE(r.out.find("      1  f0 31 00 38 02         7  0\n"), std::string::npos) << r.out;

    // A sound bank in a raw file, and another maker's data.
    const std::string bank = m_dir.write(
        "bank.syx",
        joined({korvoMessage(0x60, 0x45, 8, 0x33, 0x0D), korvoMessage(0x66, 0, 8, 0x33, 0x0D)}));
    r = runCli({"info", bank, "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"type\": \"Helion - Soundbank Bank 6\", \"trackname\": null, "
                          "\"instrument\": null, \"meta7f\": false, \"messages\": [",
                          0),
              0u)
        << r.out;
    const std::string other = m_dir.write("other.syx", {0xF0, 0x43, 0x10, 0xF7});
    r = runCli({"info", other, "--json"});
    EXPECT_NE(r.out.find("\"type\": \"NO KoRvO Dump\""), std::string::npos);
}

TEST_F(Cli, InfoOfOneMessage) {
    const std::string bank = m_dir.write(
        "bank.syx",
        joined({korvoMessage(0x60, 0x45, 20, 0x41, 0x0D), korvoMessage(0x66, 0x02, 8, 0x33)}));
    CliResult r = runCli({"info", bank, "--message", "0", "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"index\": 0, \"size\": 20, \"offset\": 0, \"header\": {\"maker\": 49, "
              "\"maker_name\": \"KoRvO\", \"model\": 96, \"model_name\": null, \"kind\": 69, "
              "\"dump_type\": \"Helion - Soundbank Bank 6\", \"channel\": null, \"bank\": "
              "\"6\"}, \"bytes\": \"f0 31 0d 60 45 41 41 41 41 41 41 41 41 41 41 41 41 41 41 "
              "f7\"}\n");
    r = runCli({"info", bank, "--message", "1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "Message:      1\n"
                     "Maker:        0x31 KoRvO\n"
                     "Model:        0x66 Helion | Helion Mk 2\n"
                     "Kind:         0x02\n"
                     "Dump type:    Helion - Soundbank Bank 6\n"
                     "MIDI channel: 3\n"
                     "Size:         8 bytes\n"
                     "Pause:        0 s\n"
                     "\n"
                     "00000000  f0 31 00 66 02 33 33 f7                           |.1.f.33.|\n");
    r = runCli({"info", bank, "--message", "2"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("there is no message 2; the file holds 2 messages"), std::string::npos);
    EXPECT_EQ(runCli({"info", bank, "--message", "-1"}).exit, 2);
}

TEST_F(Cli, ConvertRoundTripsKeepTheMessages) {
    // OMNIGRID carries no channel; a STRATA dump on channel 0 keeps its bytes too.
    for (const Bytes& raw :
         {joined({korvoMessage(0x5D, 0x01, 300, 1, 0), korvoMessage(0x5D, 0x01, 40, 2, 0)}),
          joined({korvoMessage(0x38, 0x10, 500, 3, 0), korvoMessage(0x38, 0x20, 9, 4, 0)})}) {
        const std::string syx = m_dir.write("in.syx", raw);
        ASSERT_EQ(runCli({"convert", syx, m_dir.file("mid.mid")}).exit, 0);
        const CliResult r = runCli({"convert", m_dir.file("mid.mid"), m_dir.file("back.syx")});
        ASSERT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, "converted 2 messages into " + m_dir.file("back.syx") + "\n");
        EXPECT_EQ(TempDir::read(m_dir.file("back.syx")), raw);
    }
    // The .mid is stored by the window's rules: a Gravel 40 dump is paced.
    const std::string gravel = m_dir.write(
        "g.syx",
        joined({korvoMessage(0x5B, 0x01, 100, 0x33, 0), korvoMessage(0x5B, 0x01, 100, 0x33, 0)}));
    ASSERT_EQ(runCli({"convert", gravel, m_dir.file("g.mid")}).exit, 0);
    const auto read = dumpfile::readDumpFile(m_dir.file("g.mid"));
    ASSERT_TRUE(read);
    ASSERT_EQ(read->dump.size(), 2u);
    EXPECT_EQ(read->dump[0].m_offset, 2.0);
    EXPECT_FALSE(read->trackname.has_value());
}

TEST_F(Cli, BadFilesAreRefusedAndLeaveNothingBehind) {
    const std::string out = m_dir.file("out.mid");
    struct Case {
        Bytes bytes;
        std::string said;
    };
    const std::vector<Case> cases{
        {{}, "the file is empty (offset 0)"},
        {{0x00, 0xF0, 0x01, 0xF7}, "byte 0x00 at offset 0 is outside a SysEx message"},
        {{0xF0, 0x01, 0xF7, 0x42}, "byte 0x42 at offset 3 is outside a SysEx message"},
        {{0xF0, 0x01, 0xF7, 0xF0, 0x02}, "the message at offset 3 has no end (0xF7)"},
        {{0xF0, 0x01, 0x90, 0xF7},
         "byte 0x90 at offset 2 interrupts the message that begins at "
         "offset 0"},
    };
    for (const Case& c : cases) {
        const std::string in = m_dir.write("bad.syx", c.bytes);
        const CliResult r = runCli({"convert", in, out});
        EXPECT_EQ(r.exit, 1) << c.said;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(lines(r.err), 1);
        EXPECT_FALSE(exists("out.mid"));
        EXPECT_EQ(runCli({"info", in}).exit, 1);
    }
    // An existing output stays as it was when the input is bad.
    const Bytes before{'k', 'e', 'e', 'p'};
    m_dir.write("out.mid", before);
    EXPECT_EQ(runCli({"convert", m_dir.write("bad.syx", {0xF0}), out}).exit, 1);
    EXPECT_EQ(TempDir::read(out), before);
    // Not a MIDI file, and two tracks.
    const CliResult notMidi = runCli({"info", m_dir.write("text.mid", {'h', 'i'})});
    EXPECT_EQ(notMidi.exit, 1);
    EXPECT_NE(notMidi.err.find("not a Standard MIDI File"), std::string::npos);
    const CliResult missing = runCli({"info", m_dir.file("missing.syx")});
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos);
}

TEST_F(Cli, WhatCannotBeReadOrWrittenIsSaidAtOnce) {
    const std::string dir = m_dir.file("dir.syx");
    std::filesystem::create_directory(dir);
    EXPECT_NE(runCli({"info", dir}).err.find("the file is a directory"), std::string::npos);
    const std::string fifo = m_dir.file("fifo.mid");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(runCli({"info", fifo}).err.find("is a FIFO"), std::string::npos); // no wait
    // "--" ends the options.
    const std::string dash = m_dir.write("-dash.syx", korvoMessage(0x5D, 0x01, 10, 0x33, 0));
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.path());
    EXPECT_EQ(runCli({"info", "-dash.syx"}).exit, 2);
    EXPECT_EQ(runCli({"info", "--", "-dash.syx"}).exit, 0);
    std::filesystem::current_path(here);
    // A .syx holds SysEx only: a note is refused, naming it.
    const auto midi = [](const Bytes& events) {
        const Bytes end{0x00, 0xFF, 0x2F, 0x00};
        Bytes file{'M', 'T',
                   'h', 'd',
                   0,   0,
                   0,   6,
                   0,   0,
                   0,   1,
                   0,   24,
                   'M', 'T',
                   'r', 'k',
                   0,   0,
                   0,   static_cast<uint8_t>(events.size() + end.size())};
        file.insert(file.end(), events.begin(), events.end());
        file.insert(file.end(), end.begin(), end.end());
        return file;
    };
    const std::string notes = m_dir.write(
        "notes.mid", midi({0x00, 0xF0, 0x01, 0xF7, 0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64}));
    CliResult r = runCli({"convert", notes, m_dir.file("n.syx")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("message 2 (status 0x90) is not a complete SysEx message"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists("n.syx"));
    // A pause of 64 days is damage: refused before any port is looked at.
    const std::string slow = m_dir.write(
        "slow.mid", midi({0x00, 0xF0, 0x01, 0xF7, 0xFF, 0xFF, 0xFF, 0x7F, 0xF0, 0x01, 0xF7}));
    r = runCli({"--midi-api", "none", "send", slow, "--output", "x"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("the pause before message 2 is 5592405 s"), std::string::npos) << r.err;
    // A folder that is not there is said before the wait for the instrument.
    r = runCli({"--midi-api", "none", "receive", "--input", "x", "-o", m_dir.file("no/x.mid")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(Cli, WithoutAMidiSystemPortsListNone) {
    const CliResult r = runCli({"--midi-api", "none", "ports"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "inputs:\n  (none)\noutputs:\n  (none)\n");
    const std::string syx = m_dir.write("d.syx", korvoMessage(0x5D, 0x01, 10, 0x33, 0));
    const CliResult send = runCli({"--midi-api", "none", "send", syx, "--output", "synth"});
    EXPECT_EQ(send.exit, 1);
    EXPECT_NE(send.err.find("no MIDI output matches \"synth\"; there are: none"), std::string::npos)
        << send.err;
}

} // namespace

namespace {

// list: the library folder's files as JSON; the folder the window chose when none is named.
TEST_F(Cli, ListShowsWhatEachFileHoldsAndWhyOthersCannotBeRead) {
    std::filesystem::create_directories(m_dir.path() / "lib" / "sub");
    const std::string older = m_dir.write("lib/sub/a \"b\".syx", korvoMessage(0x5D, 0x01, 10));
    std::filesystem::last_write_time(older, std::filesystem::file_time_type::clock::now() -
                                                std::chrono::hours(1));
    m_dir.write("lib/copy.syx", korvoMessage(0x5D, 0x01, 10));
    m_dir.write("lib/empty.mid", {});
    const std::string home = "env HOME=" + shellQuoted(m_dir.path().string()) +
                             " XDG_CONFIG_HOME=" + shellQuoted(m_dir.file("config"));
    CliResult r = runProgram(home, BANKSHUTTLE_CLI, {"list", m_dir.file("lib"), "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("{\"path\": \"sub/a \\\"b\\\".syx\", \"dump_type\": \"OMNIGRID - "
                         "Presets\", \"messages\": 1, \"bytes\": 10, \"modified\": \"20"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"path\": \"empty.mid\", \"dump_type\": null, \"messages\": null, "
                         "\"bytes\": 0, \"modified\": \""),
              std::string::npos);
    EXPECT_NE(r.out.find("\"error\": \"not a Standard MIDI File: it does not begin with "
                         "\\\"MThd\\\"\", \"same_as\": null}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"path\": \"copy.syx\", \"dump_type\": \"OMNIGRID - Presets\", "),
              std::string::npos);
    EXPECT_NE(r.out.find("\"error\": null, \"same_as\": \"sub/a \\\"b\\\".syx\"}"),
              std::string::npos)
        << r.out;

    // No folder named and none chosen: BankShuttle in the music folder, which is not there.
    r = runProgram(home, BANKSHUTTLE_CLI, {"list"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_NE(r.err.find(m_dir.file("Music/BankShuttle") + " is not a folder"), std::string::npos)
        << r.err;
    std::filesystem::create_directories(m_dir.path() / "config" / "BankShuttle");
    m_dir.write("config/BankShuttle/BankShuttle.ini", [&] {
        const std::string ini = "[General]\nlibraryFolder=" + m_dir.file("lib") + "\n";
        return std::vector<uint8_t>(ini.begin(), ini.end());
    }());
    r = runProgram(home, BANKSHUTTLE_CLI, {"list"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("path\tdump type\tmessages\tbytes\tmodified\tsame as\n"))
        << r.out;
    EXPECT_NE(r.out.find("sub/a \"b\".syx\tOMNIGRID - Presets\t1\t10\t"), std::string::npos);
    EXPECT_NE(r.out.find("Z\tsub/a \"b\".syx\n"), std::string::npos) << r.out;
}

} // namespace
