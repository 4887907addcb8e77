// The SysEx parser fed 100 MB of dump data in packets of 1 to 256 bytes.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/virtual/VirtualMidiService.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

void BM_ParseDump(benchmark::State& state) {
    constexpr std::size_t kTotal = 100 << 20;
    constexpr std::size_t kMessage = 1000;
    std::vector<uint8_t> stream(kTotal, 0x35);
    for (std::size_t at = 0; at + kMessage <= kTotal; at += kMessage) {
        stream[at] = 0xF0;
        stream[at + kMessage - 1] = 0xF7;
    }
    std::mt19937 random(1);
    std::vector<MidiPacket> packets;
    for (std::size_t at = 0; at < kTotal;) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 256, kTotal - at);
        packets.push_back(MidiPacket{0, {stream.data() + at, n}});
        at += n;
    }

    VirtualMidiService service;
    MIDIClientRef client = 0;
    if (service.clientCreate("bench", nullptr, nullptr, &client) != MidiStatus::ok) {
        state.SkipWithError("no client");
        return;
    }
    TQMidiInterfaceReceiver receiver(service, client, 0);
    Dump dump;
    dump.reserve(kTotal / kMessage);
    for (auto _ : state) {
        dump.clear();
        // One delivery per packet, as a MIDI driver hands them over.
        for (const MidiPacket& packet : packets) {
            receiver.readData(&dump, MidiPacketList(&packet, 1));
        }
        benchmark::DoNotOptimize(dump.data());
    }
    if (dump.size() != kTotal / kMessage) {
        state.SkipWithError("messages were lost");
    }
    state.SetBytesProcessed(state.iterations() * kTotal);
}
BENCHMARK(BM_ParseDump)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
