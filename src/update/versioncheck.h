#pragma once

// The online update's judgements that need no network: comparing version
// texts, reading the update server's version file, and the texts the
// download page shows while the installer arrives.

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin::update {

// CheckForUpdate results.
inline constexpr int kCheckNewVersion = 1;        // a newer version exists
inline constexpr int kCheckNewMajorRelease = 2;   // a newer major release exists
inline constexpr int kCheckBothLinesNew = 3;      // both lines of the version file report news
inline constexpr int kCheckNoConnection = 4;      // no internet connection
inline constexpr int kCheckFileUnavailable = 5;   // the version file is not available
inline constexpr int kCheckNoInstalledVersion = 8;
inline constexpr int kCheckUpToDate = 9;
inline constexpr int kCheckUnreadable = 0;        // a version text is unreadable

// DownloadUpdate results.
inline constexpr int kDownloadDone = 0;  // finished or stopped
inline constexpr int kDownloadNoConnection = 4;
inline constexpr int kDownloadNoRequest = 5;
inline constexpr int kDownloadFailed = 7;

// CompareVersions failures.
inline constexpr int kCandidateUnreadable = -21;
inline constexpr int kInstalledUnreadable = -22;

// Compares two version texts of up to four decimal parts separated by "."
// (empty pieces are skipped, missing parts are 0). Yields 2 when the
// candidate's first part is greater, -1 when it is smaller; otherwise, at
// the first of the other three parts that differs, 1 (candidate greater) or
// -1; 0 when all are equal. An empty text, a fifth part or a part with
// another character than a digit gives -21 for the candidate (examined
// first) or -22 for the installed version.
int CompareVersions(std::string_view candidate, std::string_view installed);

// "%.2f GB", "%.2f MB", "%.2f KB" or "%.2f bytes": the largest unit of which
// bytes holds at least one.
std::string FormatByteSize(std::uint64_t bytes);

// What the version file says about the installed version.
struct VersionFileVerdict {
    int result = kCheckUnreadable;  // a CheckForUpdate result: 0, 1, 2, 3 or 9
    std::string newVersion;         // the version the check page shows (seven characters at most)
    std::string secondVersion;      // the second line's version, when there is one
};

// Reads the first two lines of the version file (lines end with LF or CR LF;
// characters 1 to 7 of a line are its version) and judges them against the
// installed version: r1 from the first line (0 when there is no line);
// with a second line r2 from it, and the result is 3 when both report news
// (r1 is 1, r2 is 1 or 2), r1 when only the first does, otherwise r2; the
// second line's version becomes the new version when it is newer (r2 is 1).
// Then 0 and -1 give 9, 1 to 3 stay, anything else gives 0.
VersionFileVerdict JudgeVersionFile(std::string_view file, std::string_view installed);

// Check page texts.
inline constexpr const char* kSearchingText =
    "Varentis Korvane Update Wizard is searching for latest updates available online.";
inline constexpr const char* kNewUpdateText = "A new update  is available. Click Next to proceed further.";
inline constexpr const char* kAllUpdatesText = "Application has all latest updates. Click cancel to close the window.";
inline constexpr const char* kNoConnectionText = "Connection to server could not be established. Please try later.";
inline constexpr const char* kUpdatedText = "This application is updated.";
// Download page texts.
inline constexpr const char* kGettingSessionText = "Getting Internet Session.";
inline constexpr const char* kDownloadingText = "Downloading files ...";
inline constexpr const char* kDownloadCompletedText = "Download completed.";

// The new-update text with version inserted at character position 13,
// between the two blanks after "A new update".
std::string NewUpdateText(std::string_view version);

// The two value texts of the download page.
struct TransferTexts {
    std::string elapsed;  // "Time elapsed:" value
    std::string rate;     // "Transfer rate:" value
};

// The value texts after received bytes in seconds whole seconds, for an
// installer of size bytes (0: unknown). lastSeconds carries the last
// non-zero second count from one call to the next (start it at 1); it
// stands in for seconds while that is still 0.
//  size known:   "%d sec(%s of %s copied)", "%s/sec" of FormatByteSize(received / seconds)
//  size unknown: "%d Ko in %d sec" (kilobytes, seconds), kilobytes / seconds + "/sec"
TransferTexts FormatTransfer(std::uint64_t received, std::uint64_t size, std::int64_t seconds,
                             std::int64_t& lastSeconds);

}  // namespace ravelin::update
