// Receives and a paced transmission over whatever JACK server the environment names (jackd2,
// or PipeWire's JACK through pw-jack): how many of 25 receives were exact, failed (saying
// why: how many for our own client's missed cycles) or damaged (stored short or wrong without a
// word: must be 0), how many sends said they were incomplete, and the largest deviation of a pause
// from the one asked, measured in the instrument's frames. bench/jack-servers.sh runs it against
// each server.
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"
#include "midiinterface/jack/JackMidiService.h"
#include "support/JackInstrument.h"
#include "support/Messages.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

void waitUntilDone(const TQMidiInterfaceTransmitter& transmitter) {
    while (transmitter.isStillTransmitting()) {
        std::this_thread::sleep_for(1ms);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 25;
    auto service = JackMidiService::open("BankShuttle").valueOr(nullptr);
    auto instrument = JackInstrument::open("rounds" + std::to_string(getpid()));
    if (!service || !instrument) {
        std::fprintf(stderr, "no JACK server\n");
        return 1;
    }
    MIDIClientRef client = 0;
    if (service->clientCreate("BankShuttle", nullptr, nullptr, &client) != MidiStatus::ok) {
        return 1;
    }
    MIDIEndpointRef source = 0, destination = 0;
    for (int i = 0; i < 100 && (source == 0 || destination == 0); ++i) {
        std::this_thread::sleep_for(20ms);
        source = TQMidiInterfaceReceiver::SourceNamed(*service, instrument->name() + ": out");
        destination =
            TQMidiInterfaceTransmitter::DestinationNamed(*service, instrument->name() + ": in");
    }
    std::mt19937 random(1);
    std::vector<Bytes> dump;
    Dump paced;
    for (int i = 0; i < 12; ++i) {
        dump.push_back(randomSysex(100 + random() % 400, random));
        paced.push_back(midi::event(buffer(dump.back().begin(), dump.back().end()),
                                    i == 0 ? 0.0 : 0.02 * (i % 3)));
    }

    int exact = 0, failed = 0, ownMisses = 0, damaged = 0;
    for (int round = 0; round < rounds; ++round) {
        TQMidiInterfaceReceiver receiver(*service, client, source);
        Dump recorded;
        receiver.recordOn(recorded);
        instrument->play(dump);
        if (!receiver.waitForRecordOffWithTimeout(5) || !receiver.outcome().complete()) {
            ++failed;
            ownMisses += receiver.outcome().failure == RecordingFailure::cyclesMissed;
            continue;
        }
        bool same = recorded.size() == dump.size();
        for (std::size_t i = 0; same && i < dump.size(); ++i) {
            same = Bytes(recorded[i].begin(), recorded[i].end()) == dump[i];
        }
        same ? ++exact : ++damaged;
    }

    const std::size_t before = instrument->received().size();
    TQMidiInterfaceTransmitter transmitter(*service, client, destination);
    transmitter.transmitDump(paced);
    waitUntilDone(transmitter);
    std::this_thread::sleep_for(100ms);
    const auto heard = instrument->received();
    const double rate = instrument->sampleRate();
    double shortest = 0.0, longest = 0.0;
    const std::size_t first = before + 17; // after All Notes Off
    for (std::size_t i = 1; first + i < heard.size() && i < paced.size(); ++i) {
        const double due = 320e-6 * paced[i - 1].size() + paced[i].m_offset;
        const double gap =
            static_cast<double>(heard[first + i].frame - heard[first + i - 1].frame) / rate;
        shortest = std::min(shortest, gap - due);
        longest = std::max(longest, gap - due);
    }
    const bool whole = heard.size() == first + paced.size();
    std::printf("receives: %d exact, %d failed (%d for our own client's missed cycles), %d "
                "damaged of %d; JACK reported %llu xruns, our client missed %llu cycles; send: "
                "%s%s; pauses: %+.0f to %+.0f us from the one asked\n",
                exact, failed, ownMisses, damaged, rounds,
                static_cast<unsigned long long>(service->graphXruns()),
                static_cast<unsigned long long>(service->missedCycles()), whole ? "whole" : "short",
                transmitter.mayNotHaveArrivedCount() != 0 ? " (said so)" : "", shortest * 1e6,
                longest * 1e6);
    static_cast<void>(service->clientDispose(client));
    return damaged == 0 ? 0 : 1;
}
