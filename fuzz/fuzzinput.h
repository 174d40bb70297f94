#pragma once

// What the fuzz targets share: a frame that takes every worker message and
// does nothing with it, and the worker link around it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "job/frame.h"

namespace ravelin::fuzz {

class NullFrame final : public job::Frame {
public:
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
};

// A worker link that is never stopped.
struct QuietLink {
    NullFrame frame;
    std::atomic<bool> stopRequested{false};
    std::string currentLogLine;
    job::WorkerLink link{frame, stopRequested, currentLogLine};
};

inline std::vector<std::byte> Copy(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::as_bytes(std::span<const std::uint8_t>(data, size));
    return std::vector<std::byte>(bytes.begin(), bytes.end());
}

}  // namespace ravelin::fuzz
