#pragma once

#include "core/event.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// What the dump held by the application is: which instrument model sent it and which kind
// of data it holds, with the texts for the user and the channel property. Also offers the
// read-only views of the dump that feed the event table.
class KorvoDumptype {
public:
    explicit KorvoDumptype(const Dump* dump) : m_dump(dump) {}
    KorvoDumptype(const KorvoDumptype&) = delete;
    KorvoDumptype& operator=(const KorvoDumptype&) = delete;
    virtual ~KorvoDumptype() = default;

    virtual std::string_view title() const = 0;
    // What to do on the instrument so that it sends this kind of data; "" when nothing.
    virtual std::string_view receiveInstruction() const = 0;
    // What to do on the instrument so that it accepts this kind of data; "" when nothing.
    virtual std::string_view transmitInstruction() const = 0;
    // True when the low 4 bits of byte 4 of every message hold the instrument's channel.
    virtual bool hasChannel() const = 0;
    // True when byte 4 of the first message is the number of a bank, not a channel: the
    // channel rules then leave it as it is.
    virtual bool bankInFirstMessage() const { return false; }
    // The bank that the first message names, as the title ends in it ("S05"); "" when none.
    virtual std::string bank() const { return {}; }

    virtual std::string debugString() const;

    std::size_t eventCount() const;
    std::size_t eventLength(std::size_t index) const;
    // The first bytes of message `index` as "f0 31 0d" text. The view stays valid until the
    // next call on this object; "" for an index out of range, an empty message or maxBytes 0.
    std::string_view headerText(std::size_t index, std::size_t maxBytes);

protected:
    const Dump* m_dump; // not owned; read anew at every call
    std::string m_header;
};

// Creates the dump type of `dump` from the SysEx header of its first message (and, for sound
// banks, byte 3 of the second). Never returns null; the result refers to `dump`, which must
// outlive it.
std::unique_ptr<KorvoDumptype> identifyDump(const Dump* dump);
