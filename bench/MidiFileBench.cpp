// Writing and reading a 10 MB dump (10,000 SysEx messages of 1,000 bytes), and mido reading
// the same file, side by side.
#include "midifile/TQMidiFileReader.h"
#include "midifile/TQMidiFileWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

constexpr std::size_t kMessages = 10000;
constexpr std::size_t kSize = 1000;

const std::string& benchFile() {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("bankshuttle-bench-" + std::to_string(getpid()) + ".mid"))
                                        .string();
    return path;
}

const Dump& bigDump() {
    static const Dump dump = [] {
        Dump d(kMessages, midi::event(buffer(kSize, 0x2A)));
        for (std::size_t i = 0; i < d.size(); ++i) {
            d[i][0] = 0xF0;
            d[i][1] = 0x31;
            d[i][2] = static_cast<uint8_t>(i & 0x7F);
            d[i].back() = 0xF7;
            d[i].m_offset = (i % 10 == 0) ? 0.3 : 0.0;
        }
        return d;
    }();
    return dump;
}

void writeDump(const Dump& dump) {
    TQMidiFileWriter writer(benchFile().c_str(), 24);
    writer.beginTrack();
    writer.writeMetaEvent(0x03, buffer{'b', 'e', 'n', 'c', 'h'}, false);
    writer.writeEvent(dump.front(), 2.0);
    for (std::size_t i = 1; i < dump.size(); ++i) {
        writer.writeEvent(dump[i], dump[i].m_offset);
    }
    writer.endTrack();
}

void BM_WriteDump(benchmark::State& state) {
    const Dump& dump = bigDump();
    for (auto _ : state) {
        writeDump(dump);
    }
    state.SetBytesProcessed(state.iterations() * kMessages * kSize);
}
BENCHMARK(BM_WriteDump)->Unit(benchmark::kMillisecond);

void BM_ReadDump(benchmark::State& state) {
    writeDump(bigDump());
    Dump dump;
    for (auto _ : state) {
        TQMidiFileReader reader(benchFile().c_str());
        reader.readTrackHeader();
        reader.readEvents(dump);
        if (dump.size() != kMessages) {
            state.SkipWithError("the dump did not read back whole");
        }
    }
    state.SetBytesProcessed(state.iterations() * kMessages * kSize);
}
BENCHMARK(BM_ReadDump)->Unit(benchmark::kMillisecond);

// mido's own timing of its read, without the interpreter's start-up.
void BM_MidoReadDump(benchmark::State& state) {
    writeDump(bigDump());
    const std::string command =
        std::string("/usr/bin/python3 ") + BENCH_SOURCE_DIR + "/mido_read.py " + benchFile() + " 1";
    for (auto _ : state) {
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        double seconds = 0;
        if (!pipe || std::fscanf(pipe.get(), "%lf", &seconds) != 1) {
            state.SkipWithError("mido could not read the file");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * kMessages * kSize);
}
BENCHMARK(BM_MidoReadDump)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(benchFile());
    return 0;
}
