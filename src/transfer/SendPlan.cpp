#include "SendPlan.h"

#include "dumptypes/DumpRules.h"
#include "midiinterface/TQMidiInterfaceTransmitter.h"

Result<SendPlan> prepareSend(const Dump& dump, const KorvoDumptype& type,
                             const SendChoices& choices) {
    SendPlan plan;
    plan.sending = dumprules::preparedForTransmit(dump, type, choices.channel,
                                                  choices.minimumPauseMs / 1000.0);
    plan.bytesPerSecond = choices.bytesPerSecond;
    if (const Result<void> sendable = dumprules::transmitRefusal(plan.sending); !sendable) {
        return failure("This dump cannot be sent: " + asSentence(sendable.error()));
    }
    plan.estimateSeconds =
        dumprules::transmitEstimateMicroseconds(plan.sending, plan.bytesPerSecond) / 1e6;
    return plan;
}

Result<void> carryRefusal(const SendPlan& plan, MidiService& midi) {
    return midi.refusal(plan.sending, plan.bytesPerSecond);
}

Result<SendPlan> planSend(const Dump& dump, const KorvoDumptype& type, const SendChoices& choices,
                          MidiService& midi) {
    Result<SendPlan> plan = prepareSend(dump, type, choices);
    if (!plan) {
        return plan;
    }
    if (const Result<void> carried = carryRefusal(plan.value(), midi); !carried) {
        return failure(carried.error());
    }
    return plan;
}
