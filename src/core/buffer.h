#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A growable array of bytes with value semantics. It is a std::vector<uint8_t> in every
// respect, so it can be passed wherever a byte vector is expected.
class buffer : public std::vector<uint8_t> {
public:
    using std::vector<uint8_t>::vector;

    buffer() = default;
    buffer(const buffer&) = default;
    buffer(buffer&&) noexcept = default;
    buffer& operator=(const buffer&) = default;
    buffer& operator=(buffer&&) noexcept = default;
    virtual ~buffer() = default;

    // "buffer < 0x... > " — identifies the object, never lists the bytes.
    virtual std::string debugString() const;
};
