#include "SendPlan.h"

#include "dumptypes/DumpRules.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

Result<SendPlan> planSend(const Dump& dump, const KorvoDumptype& type, const SendChoices& choices,
                          MidiService& midi) {
    SendPlan plan;
    plan.sending = dumprules::preparedForTransmit(dump, type, choices.channel,
                                                  choices.minimumPauseMs / 1000.0);
    plan.bytesPerSecond = choices.bytesPerSecond;
    if (const Result<void> sendable = dumprules::transmitRefusal(plan.sending); !sendable) {
        return failure("This dump cannot be sent: " + asSentence(sendable.error()));
    }
    if (const Result<void> carried = midi.refusal(plan.sending, plan.bytesPerSecond); !carried) {
        return failure(carried.error());
    }
    plan.estimateSeconds =
        dumprules::transmitEstimateMicroseconds(plan.sending, plan.bytesPerSecond) / 1e6;
    return plan;
}
