#include "dumptypes/DeviceDumptypes.h"
#include "dumptypes/KorvoDumptype.h"
#include "dumptypes/SoundbankDumptypes.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const Dump kNoDump;

template <class T>
std::unique_ptr<KorvoDumptype> make() {
    return std::make_unique<T>(&kNoDump);
}

TEST(DumptypeTexts, InstructionsKeepQuotesLineBreaksAndBlanks) {
    // Compared character by character with the texts the instruments' users know.
    auto pulsar = make<Pulsar70Presets>();
    EXPECT_EQ(pulsar->receiveInstruction(), "On your PuLsar70 please press\x0A"
                                            "Midi -> Cursor right to \x22"
                                            "BDumpGo\x22 -> Enter !");
    auto strata = make<STRATA500OS>();
    EXPECT_EQ(strata->transmitInstruction(),
              "Turn your STRATA 500 off.\nTurn it on again and after 1 second press button 1, "
              "wait for the screen\n\"Os SysEx Dump required\nwaiting for dump...\" !");
    // No blank before "!" here, unlike most others.
    EXPECT_EQ(make<STRATA600Presets>()->transmitInstruction(),
              "On your STRATA 600 please press\nMIDI -> Cursor right to \"BLoadGo\" -> Enter!");
    // A blank before the line break belongs to the text.
    EXPECT_EQ(make<starfellOS>()->transmitInstruction(),
              "Turn the Starfell off and on \nand when the unit is ready\njust send off the OS "
              "dump!");
    EXPECT_EQ(make<HelionOS>()->transmitInstruction(),
              "On your Helion please press\nMenu -> Midi -> SysEx -> OSUpt\nand wait until "
              "display reads \"Ready now for reception\" !");
    EXPECT_EQ(make<Rumbler10Presets>()->transmitInstruction(),
              "On your Rumbler10 please press\nCursor Up + Play -> left Cursor Down to \"Sys "
              "Load\" -> Enter (encoder Klick) !");
    EXPECT_EQ(make<Tonwerk40Presets>()->receiveInstruction(),
              "On your Tonwerk40 please press\nSHIFT -> Midi Mode -> UP to dMP -> Enter !");
    auto vortex = make<VortexCascadeOS>();
    EXPECT_EQ(vortex->receiveInstruction(),
              "On your Vortex Cascade please press\nMid -> Sys -> Sys !");
    EXPECT_EQ(vortex->transmitInstruction(),
              "On your Vortex Cascade please press\nMid -> Sys -> OSU !");
}

TEST(DumptypeTexts, SharedTexts) {
    const char* notSupported = "This feature is not supported !";
    for (auto& type : {make<STRATA500OS>(), make<STRATA600OS>(), make<RevKinet30OS>(),
                       make<Gravel40OS>(), make<Gravel40MkIIOS>(), make<starfellOS>()}) {
        EXPECT_EQ(type->receiveInstruction(), notSupported) << type->title();
    }
    for (auto& type :
         {make<RevKinet30Presets>(), make<Gravel40Presets>(), make<Gravel40MkIIPresets>()}) {
        EXPECT_EQ(type->transmitInstruction(),
                  "Select the menu <Midi Ch> (1st green LED) and send off the preset dump!");
        EXPECT_EQ(type->receiveInstruction(), "");
    }
    for (auto& type : {make<RevKinet30OS>(), make<Gravel40OS>(), make<Gravel40MkIIOS>()}) {
        EXPECT_EQ(type->transmitInstruction(),
                  "Make sure the menu is off (no LED lights) and just send off the OS dump!");
    }
    for (auto& type :
         {make<starfellPresets>(), make<starfellSequence>(), make<starfellFXAlgorithm>()}) {
        EXPECT_EQ(type->transmitInstruction(),
                  "On the Starfell please press\nMIDI -> Cursor right to \"RcvOff\" -> switch to "
                  "\"RcvOn\" by turning the DATA encoder right or pressing the Up button!");
    }
    EXPECT_EQ(make<NoKorvoDump>()->receiveInstruction(),
              "Make sure that the device is ready for SysEx transfer!");
    EXPECT_EQ(make<NoKorvoDump>()->transmitInstruction(),
              "Make sure that the device is ready for SysEx reception!");
    EXPECT_EQ(make<UnknownKorvoDump>()->receiveInstruction(),
              "Make sure that the KoRvO device is ready for SysEx transfer!");
    EXPECT_EQ(make<UnknownKorvoDump>()->transmitInstruction(),
              "Make sure that the KoRvO device is ready for SysEx reception!");
}

TEST(DumptypeTexts, TypesWithoutInstructions) {
    for (auto& type :
         {make<EmptyDump>(), make<Gravel40FlashUpdate>(), make<Gravel40MkIIFlashUpdate>(),
          make<starfellFlashUpdate>(), make<SKinet30Presets>(), make<OMNIGRIDPresets>(),
          make<OMNIGRIDOS>(), make<OMNIGRIDSinglePattern>(), make<OMNIGRIDSingleSample>()}) {
        EXPECT_EQ(type->receiveInstruction(), "") << type->title();
        EXPECT_EQ(type->transmitInstruction(), "") << type->title();
    }
    EXPECT_EQ(make<EmptyDump>()->title(), "");
    EXPECT_FALSE(make<EmptyDump>()->hasChannel());
}

TEST(DumptypeTexts, DebugStringHasThreeLines) {
    const Dump dump{midi::event{0xF0, 0x31, 0xF7}};
    auto type = identifyDump(&dump);
    std::ostringstream self, list;
    self << static_cast<const void*>(type.get());
    list << static_cast<const void*>(&dump);
    EXPECT_EQ(type->debugString(),
              "KorvoDumptype < " + self.str() + " >\n&m_dump: " + list.str() + "\nm_header: \n");
    type->headerText(0, 5);
    EXPECT_EQ(type->debugString(), "KorvoDumptype < " + self.str() + " >\n&m_dump: " + list.str() +
                                       "\nm_header: f0 31 f7\n");
}

} // namespace
