#include "dumptypes/MessageHeader.h"
#include "core/HexDump.h"

#include <gtest/gtest.h>

namespace {

midi::event message(std::vector<uint8_t> bytes, double pause = 0.0) {
    midi::event m(buffer(bytes.begin(), bytes.end()));
    m.m_offset = pause;
    return m;
}

std::string lines(const MessageHeader& header) {
    std::string text;
    for (const HeaderLine& line : headerLines(header)) {
        text += line.label + ": " + line.value + "\n";
    }
    return text;
}

TEST(MessageHeader, DeviceTypeWithAChannel) {
    // STRATA 500 presets on channel 12: the kind byte's low four bits.
    const Dump dump{message({0xF0, 0x31, 0x00, 0x38, 0x0B, 0x01, 0xF7}),
                    message({0xF0, 0x31, 0x00, 0x38, 0x2B, 0x02, 0xF7}, 0.3)};
    const auto type = identifyDump(&dump);
    EXPECT_EQ(lines(decodeHeader(dump, *type, 1)), "Maker: 0x31 KoRvO\n"
                                                   "Model: 0x38 STRATA 500\n"
                                                   "Kind: 0x2B\n"
                                                   "Dump type: STRATA 500 - Presets\n"
                                                   "MIDI channel: 12\n"
                                                   "Size: 7 bytes\n"
                                                   "Pause: 0.3 s\n");
    // A type without a channel names none; a model byte shared by two models names both.
    const Dump rumbler{message({0xF0, 0x31, 0x00, 0x58, 0x03, 0xF7})};
    const MessageHeader header = decodeHeader(rumbler, *identifyDump(&rumbler), 0);
    EXPECT_FALSE(header.channel);
    EXPECT_EQ(header.modelName, "Rumbler10 | Rumbler 12");
}

TEST(MessageHeader, FirstMessageOfASoundBankNamesTheBank) {
    const Dump dump{message({0xF0, 0x31, 0x0D, 0x00, 0x08, 0xF7}),
                    message({0xF0, 0x31, 0x00, 0x38, 0x05, 0x11, 0xF7})};
    const auto type = identifyDump(&dump);
    const MessageHeader first = decodeHeader(dump, *type, 0);
    EXPECT_EQ(first.bank, "S05");
    EXPECT_FALSE(first.channel); // byte 4 is the bank here
    EXPECT_EQ(first.dumpType, "STRATA 500 - Soundbank S05");
    EXPECT_NE(lines(first).find("Model: 0x00, not in the catalogue\n"), std::string::npos);
    const MessageHeader second = decodeHeader(dump, *type, 1);
    EXPECT_EQ(second.channel, 6);
    EXPECT_EQ(second.bank, "");
}

TEST(MessageHeader, ForeignAndShortMessagesAreNotReadAsTheMakers) {
    const Dump foreign{message({0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}), message({0xF0, 0x31}),
                       message({0x90, 0x40, 0x7F})};
    const auto type = identifyDump(&foreign);
    EXPECT_EQ(lines(decodeHeader(foreign, *type, 0)),
              "Maker: 0x41\nDump type: NO KoRvO Dump\nSize: 6 bytes\nPause: 0 s\n");
    const MessageHeader shortOne = decodeHeader(foreign, *type, 1);
    EXPECT_EQ(shortOne.makerName, "KoRvO");
    EXPECT_FALSE(shortOne.model);
    EXPECT_FALSE(shortOne.kind);
    EXPECT_FALSE(decodeHeader(foreign, *type, 2).maker);
}

TEST(HexDump, LinesOfSixteenWithTheirText) {
    std::vector<uint8_t> bytes{0xF0, 0x31, 0x00, 0x38};
    for (const char c : std::string("CLAV 1")) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    bytes.resize(17, 0x7F);
    bytes.back() = 0xF7;
    ASSERT_EQ(hexdump::lineCount(bytes.size()), 2u);
    EXPECT_EQ(hexdump::line(bytes, 0),
              "00000000  f0 31 00 38 43 4c 41 56  20 31 7f 7f 7f 7f 7f 7f  |.1.8CLAV 1......|");
    EXPECT_EQ(hexdump::line(bytes, 1), "00000010  f7" + std::string(3 * 15 + 1, ' ') + "  |.|");
    EXPECT_EQ(hexdump::line(bytes, 2), "");
    EXPECT_EQ(hexdump::lines(bytes),
              hexdump::line(bytes, 0) + "\n" + hexdump::line(bytes, 1) + "\n");
    EXPECT_EQ(hexdump::spaced(std::vector<uint8_t>{0xF0, 0x0A, 0xF7}), "f0 0a f7");
    EXPECT_EQ(hexdump::lines({}), "");
}

} // namespace
