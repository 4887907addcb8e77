// What every MIDI system must get right, checked on each of them.
#include "Backends.h"
#include "midiinterface/TQMidiInterfaceReceiver.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Counts setup-change notifications as the program's client would receive them.
struct Notifications {
    std::mutex mutex;
    std::condition_variable arrived;
    int count = 0;
    uint32_t lastId = 0;

    static void proc(const MidiNotification& notification, void* self) {
        auto* n = static_cast<Notifications*>(self);
        std::lock_guard lock(n->mutex);
        ++n->count;
        n->lastId = notification.messageID;
        n->arrived.notify_all();
    }
    bool waitFor(int expected, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return count >= expected; });
    }
};

template <class Backend>
class MidiServiceContract : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_backend.ready()) {
            // Under CTest the fixture has started a server: its absence is a failure.
            if (std::getenv("JACK_DEFAULT_SERVER") != nullptr) {
                FAIL() << "the JACK test server is not running";
            }
            GTEST_SKIP() << "no JACK server";
        }
        ASSERT_EQ(
            midi().clientCreate("BankShuttle", &Notifications::proc, &m_notifications, &m_client),
            MidiStatus::ok);
    }
    void TearDown() override {
        if (m_client != 0) {
            EXPECT_EQ(midi().clientDispose(m_client), MidiStatus::ok);
        }
    }
    MidiService& midi() { return m_backend.midi(); }

    std::vector<std::string> sourceNames() {
        std::vector<std::string> names;
        for (uint16_t i = 0; i < TQMidiInterfaceReceiver::SourceNumber(midi()); ++i) {
            names.push_back(TQMidiInterfaceReceiver::SourceNameAt(midi(), i));
        }
        return names;
    }
    std::vector<std::string> destinationNames() {
        std::vector<std::string> names;
        for (uint16_t i = 0; i < TQMidiInterfaceTransmitter::DestinationNumber(midi()); ++i) {
            names.push_back(TQMidiInterfaceTransmitter::DestinationNameAt(midi(), i));
        }
        return names;
    }

    Backend m_backend;
    Notifications m_notifications;
    MIDIClientRef m_client = 0;
};

using Systems = ::testing::Types<VirtualBackend, JackBackend>;
TYPED_TEST_SUITE(MidiServiceContract, Systems);

TYPED_TEST(MidiServiceContract, ListsOtherProgramsPortsNeverOurs) {
    const std::string peer = this->m_backend.peer;
    EXPECT_EQ(this->sourceNames(), std::vector<std::string>{peer + ": out"});
    EXPECT_EQ(this->destinationNames(), std::vector<std::string>{peer + ": in"});

    // Opening the program's own ports neither lists them nor counts as a change.
    {
        TQMidiInterfaceReceiver receiver(this->midi(), this->m_client, this->midi().source(0));
        TQMidiInterfaceTransmitter transmitter(this->midi(), this->m_client,
                                               this->midi().destination(0));
        EXPECT_EQ(this->sourceNames(), std::vector<std::string>{peer + ": out"});
        EXPECT_EQ(this->destinationNames(), std::vector<std::string>{peer + ": in"});
    }
    EXPECT_FALSE(this->m_notifications.waitFor(1, 500ms));
    EXPECT_EQ(this->midi().source(1), 0u);
    EXPECT_EQ(this->midi().destination(7), 0u);
}

// A change that came before a client is not news to it, even while it still settles.
TYPED_TEST(MidiServiceContract, AClientIsToldOnlyOfChangesAfterItCame) {
    ASSERT_TRUE(this->m_backend.addPort("extra", true));
    ASSERT_TRUE(this->m_notifications.waitFor(1, 20s));
    ASSERT_EQ(this->midi().clientDispose(this->m_client), MidiStatus::ok);
    this->m_client = 0;
    ASSERT_TRUE(this->m_backend.removePort("extra", true));
    // Gone from the lists, its news perhaps still on the way: a busy server can list a port it
    // announced gone for a moment, and the client would rightly be told when it goes.
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (std::ranges::any_of(this->sourceNames(),
                               [](const std::string& name) { return name.ends_with(": extra"); }) &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(1ms);
    }
    Notifications later;
    ASSERT_EQ(
        this->midi().clientCreate("BankShuttle", &Notifications::proc, &later, &this->m_client),
        MidiStatus::ok);
    EXPECT_FALSE(later.waitFor(1, 500ms));
    EXPECT_EQ(this->midi().clientDispose(this->m_client), MidiStatus::ok); // before `later` goes
    this->m_client = 0;
}

// The waits are generous: they only end a test whose news never comes.
TYPED_TEST(MidiServiceContract, SetupChangesAreReported) {
    ASSERT_TRUE(this->m_backend.addPort("extra", true));
    ASSERT_TRUE(this->m_notifications.waitFor(1, 20s));
    EXPECT_EQ(this->m_notifications.lastId, kMIDIMsgSetupChanged);
    EXPECT_EQ(this->sourceNames().size(), 2u);

    ASSERT_TRUE(this->m_backend.removePort("extra", true));
    EXPECT_TRUE(this->m_notifications.waitFor(2, 20s));
    EXPECT_EQ(this->sourceNames().size(), 1u);

    // No notification reaches a client after it is disposed.
    ASSERT_EQ(this->midi().clientDispose(this->m_client), MidiStatus::ok);
    this->m_client = 0;
    const int before = this->m_notifications.count;
    ASSERT_TRUE(this->m_backend.addPort("late", false));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(this->m_notifications.count, before);
}

TYPED_TEST(MidiServiceContract, EndpointsKeepTheirIdentityWhenOthersComeAndGo) {
    const std::string peer = this->m_backend.peer;
    ASSERT_TRUE(this->m_backend.addPort("a", true));
    ASSERT_TRUE(this->m_backend.addPort("b", true));
    std::this_thread::sleep_for(200ms);
    const MIDIEndpointRef b = TQMidiInterfaceReceiver::SourceNamed(this->midi(), peer + ": b");
    ASSERT_NE(b, 0u);
    EXPECT_EQ(this->midi().source(2), b);

    // "a" goes: the indices shift, the reference does not.
    ASSERT_TRUE(this->m_backend.removePort("a", true));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(this->midi().source(1), b);
    EXPECT_EQ(this->midi().stringProperty(b, EndpointProperty::displayName), "b");
    EXPECT_EQ(this->midi().stringProperty(b, EndpointProperty::manufacturer), peer);

    // "b" goes: its reference opens nothing rather than something else.
    ASSERT_TRUE(this->m_backend.removePort("b", true));
    std::this_thread::sleep_for(200ms);
    MIDIPortRef port = 0;
    auto ignore = [](MidiPacketList, void*, void*) {};
    ASSERT_EQ(this->midi().inputPortCreate(this->m_client, "InPort", ignore, nullptr, &port),
              MidiStatus::ok);
    EXPECT_NE(this->midi().portConnectSource(port, b, nullptr), MidiStatus::ok);
    EXPECT_EQ(TQMidiInterfaceReceiver::SourceNamed(this->midi(), peer + ": b"), 0u);
    EXPECT_EQ(this->midi().stringProperty(0, EndpointProperty::displayName), "");
}

} // namespace
