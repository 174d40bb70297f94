#include "update/versioncheck.h"

#include <array>
#include <cstdio>
#include <vector>

namespace ravelin::update {

namespace {

// The four parts of a version text; false when it cannot be read.
bool SplitVersion(std::string_view text, std::array<std::uint64_t, 4>& parts)
{
    parts = {0, 0, 0, 0};
    std::size_t count = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t dot = std::min(text.find('.', at), text.size());
        const std::string_view piece = text.substr(at, dot - at);
        at = dot + 1;
        if (piece.empty())
            continue;
        if (count == parts.size() || piece.size() > 18)
            return false;
        std::uint64_t value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        parts[count++] = value;
    }
    return count > 0;
}

// The first two lines of text, without their line ends.
std::vector<std::string_view> FirstTwoLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size() && lines.size() < 2) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

std::string Format(const char* format, double value)
{
    char text[64];
    const int length = std::snprintf(text, sizeof text, format, value);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

int CompareVersions(std::string_view candidate, std::string_view installed)
{
    std::array<std::uint64_t, 4> newer{};
    std::array<std::uint64_t, 4> current{};
    if (!SplitVersion(candidate, newer))
        return kCandidateUnreadable;
    if (!SplitVersion(installed, current))
        return kInstalledUnreadable;
    // An older major release is never news.
    if (newer[0] != current[0])
        return newer[0] > current[0] ? 2 : -1;
    for (std::size_t i = 1; i < 4; ++i) {
        if (newer[i] != current[i])
            return newer[i] > current[i] ? 1 : -1;
    }
    return 0;
}

std::string FormatByteSize(std::uint64_t bytes)
{
    const double n = static_cast<double>(bytes);
    constexpr double kKilo = 1024.0;
    constexpr double kMega = kKilo * 1024.0;
    constexpr double kGiga = kMega * 1024.0;
    if (n / kGiga >= 1.0)
        return Format("%.2f GB", n / kGiga);
    if (n / kMega >= 1.0)
        return Format("%.2f MB", n / kMega);
    if (n / kKilo >= 1.0)
        return Format("%.2f KB", n / kKilo);
    return Format("%.2f bytes", n);
}

VersionFileVerdict JudgeVersionFile(std::string_view file, std::string_view installed)
{
    VersionFileVerdict verdict;
    const std::vector<std::string_view> lines = FirstTwoLines(file);
    int result = 0;
    if (!lines.empty()) {
        verdict.newVersion = std::string(lines[0].substr(0, 7));
        const int r1 = CompareVersions(verdict.newVersion, installed);
        result = r1;
        if (lines.size() > 1) {
            verdict.secondVersion = std::string(lines[1].substr(0, 7));
            const int r2 = CompareVersions(verdict.secondVersion, installed);
            // Both lines report news only when the second one does too.
            const bool secondIsNews = r2 == 1 || r2 == 2;
            result = r1 == 1 ? (secondIsNews ? kCheckBothLinesNew : r1) : r2;
            // Only a newer second version is shown in place of the first.
            if (r2 == 1)
                verdict.newVersion = verdict.secondVersion;
        }
    }
    if (result == 0 || result == -1)
        verdict.result = kCheckUpToDate;
    else if (result >= 1 && result <= 3)
        verdict.result = result;
    else
        verdict.result = kCheckUnreadable;
    return verdict;
}

std::string NewUpdateText(std::string_view version)
{
    std::string text = kNewUpdateText;
    text.insert(13, version);
    return text;
}

TransferTexts FormatTransfer(std::uint64_t received, std::uint64_t size, std::int64_t seconds,
                             std::int64_t& lastSeconds)
{
    if (seconds > 0)
        lastSeconds = seconds;
    const std::uint64_t divisor = static_cast<std::uint64_t>(lastSeconds > 0 ? lastSeconds : 1);
    TransferTexts texts;
    char text[160];
    if (size != 0) {
        std::snprintf(text, sizeof text, "%lld sec(%s of %s copied)", static_cast<long long>(seconds),
                      FormatByteSize(received).c_str(), FormatByteSize(size).c_str());
        texts.elapsed = text;
        texts.rate = FormatByteSize(received / divisor) + "/sec";
    } else {
        std::snprintf(text, sizeof text, "%llu Ko in %lld sec", static_cast<unsigned long long>(received / 1024),
                      static_cast<long long>(seconds));
        texts.elapsed = text;
        texts.rate = std::to_string(received / 1024 / divisor) + "/sec";
    }
    return texts;
}

}  // namespace ravelin::update
