#pragma once

// Compressed runs written out run by run, for record shapes the layout
// builders of tests/fixture do not produce (damaged or unusual runs).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "ods/recordstream.h"

namespace ravelin::catalogue::testing {

// Compressed runs: a literal run is its length then its bytes; a repeat run
// is 256 - count then the byte.
class Runs {
public:
    Runs& Literal(std::initializer_list<int> bytes)
    {
        bytes_.push_back(static_cast<std::byte>(bytes.size()));
        for (int b : bytes)
            bytes_.push_back(static_cast<std::byte>(b));
        return *this;
    }
    Runs& Literal(std::string_view text) { return Literal({}, text); }
    // prefix bytes and text in one literal run (null flags before a name).
    Runs& Literal(std::initializer_list<int> prefix, std::string_view text)
    {
        bytes_.push_back(static_cast<std::byte>(prefix.size() + text.size()));
        for (int b : prefix)
            bytes_.push_back(static_cast<std::byte>(b));
        for (char c : text)
            bytes_.push_back(static_cast<std::byte>(c));
        return *this;
    }
    // count copies of byte, as repeat runs of at most 128; a tail of one or
    // two copies becomes a literal run, as the database writes it.
    Runs& Repeat(unsigned count, int byte)
    {
        while (count >= 3) {
            const unsigned run = count > 128 ? 128 : count;
            bytes_.push_back(static_cast<std::byte>(256 - run));
            bytes_.push_back(static_cast<std::byte>(byte));
            count -= run;
        }
        if (count > 0) {
            bytes_.push_back(static_cast<std::byte>(count));
            for (unsigned i = 0; i < count; ++i)
                bytes_.push_back(static_cast<std::byte>(byte));
        }
        return *this;
    }
    Runs& Raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            bytes_.push_back(static_cast<std::byte>(b));
        return *this;
    }
    Runs& Append(const Runs& other)
    {
        bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        return *this;
    }

    const std::vector<std::byte>& bytes() const { return bytes_; }
    ods::RecordStream Stream() const { return ods::RecordStream(bytes_); }

private:
    std::vector<std::byte> bytes_;
};

}  // namespace ravelin::catalogue::testing
