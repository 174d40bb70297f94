#include "ods/recordstream.h"

#include <algorithm>
#include <array>
#include <limits>

#include "ods/constants.h"
#include "ods/readingcontext.h"
#include "ods/textcodec.h"

namespace ravelin::ods {
namespace {

bool IsRepeatRun(std::uint8_t control)
{
    return control >= 128;
}

unsigned RepeatCount(std::uint8_t control)
{
    return 256U - control;
}

// A repeat run of blanks or zeros: the padding of a name field.
bool IsPadding(std::uint8_t control, std::uint8_t byte)
{
    return IsRepeatRun(control) && (byte == ' ' || byte == 0);
}

// Characters of a UTF-8 string; every stored byte decodes to one character.
std::size_t CharacterCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0xC0) != 0x80; }));
}

}  // namespace

RecordStream::RecordStream(std::vector<std::byte> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() > std::numeric_limits<std::uint16_t>::max())
        bytes_.resize(std::numeric_limits<std::uint16_t>::max());
}

RecordStream RecordStream::FromFile(ReadingContext& context, std::uint64_t offset, std::uint16_t length,
                                    std::uint64_t pageEnd)
{
    std::size_t take = 0;
    if (offset < pageEnd)
        take = static_cast<std::size_t>(std::min<std::uint64_t>(length, pageEnd - offset));
    std::vector<std::byte> bytes(take);
    context.ReadAt(offset, bytes);
    return RecordStream(std::move(bytes));
}

std::uint16_t RecordStream::remainingLength() const
{
    return cursor_ < bytes_.size() ? static_cast<std::uint16_t>(bytes_.size() - cursor_) : 0;
}

std::uint8_t RecordStream::ReadByte()
{
    if (cursor_ >= bytes_.size()) {
        ++phantom_;
        return 0;
    }
    return std::to_integer<std::uint8_t>(bytes_[cursor_++]);
}

std::uint16_t RecordStream::ReadWord()
{
    const unsigned lo = ReadByte();
    const unsigned hi = ReadByte();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t RecordStream::ReadLong()
{
    const std::uint32_t lo = ReadWord();
    const std::uint32_t hi = ReadWord();
    return lo | (hi << 16);
}

std::uint8_t RecordStream::ReadControl()
{
    controlByte = ReadByte();
    return controlByte;
}

void RecordStream::SeekBy(int distance)
{
    if (distance < 0) {
        std::size_t back = static_cast<std::size_t>(-static_cast<long long>(distance));
        const std::size_t fromPhantom = std::min(back, phantom_);
        phantom_ -= fromPhantom;
        back -= fromPhantom;
        cursor_ = cursor_ >= back ? cursor_ - back : 0;
    } else {
        const auto forward = static_cast<std::size_t>(distance);
        const std::size_t left = bytes_.size() - cursor_;
        if (forward <= left) {
            cursor_ += forward;
        } else {
            cursor_ = bytes_.size();
            phantom_ += forward - left;
        }
    }
}

void RecordStream::SeekTo(std::size_t offset)
{
    cursor_ = std::min(offset, bytes_.size());
    phantom_ = offset - cursor_;
}

bool RecordStream::ReadPair(std::uint8_t& control, std::uint8_t& byte)
{
    if (!CanReadControl())
        return false;
    control = ReadControl();
    byte = ReadByte();
    return true;
}

HeaderVerdict RecordStream::ReadRecordHeader(HeaderVariant variant)
{
    header_ = RecordHeader{};
    SeekTo(kRecordTransactionOffset);
    header_.transaction = ReadLong();
    header_.backPage = ReadLong();
    header_.backLine = ReadWord();
    header_.flags = ReadByte();
    header_.flags2 = ReadByte();
    header_.format = ReadByte();  // the cursor now stands at kRecordDataOffset
    if (bytes_.size() < kRecordDataOffset)
        return HeaderVerdict::Rejected;

    // Flagged records keep the forward pointer before their data; it is
    // decoded for readers that may follow it, the walks do not.
    const auto readForwardPointer = [this] {
        if (bytes_.size() < kFlaggedRecordDataOffset)
            return false;
        SeekTo(kRecordForwardPageOffset);
        header_.forwardPage = ReadLong();
        header_.forwardLine = ReadWord();  // the cursor now stands at kFlaggedRecordDataOffset
        return true;
    };

    switch (variant) {
    case HeaderVariant::RelationPrePass:
        if (header_.transaction == 0)
            return HeaderVerdict::Rejected;
        if (header_.flags == kFlagPlain)
            return HeaderVerdict::Accepted;
        if (!readForwardPointer())
            return HeaderVerdict::Rejected;
        return header_.flags == kFlagFirstFragment ? HeaderVerdict::AcceptedFirstFragment : HeaderVerdict::Accepted;

    case HeaderVariant::RelationFields:
        if (header_.transaction == 0) {
            SeekTo(kRecordBackPageOffset);
            return HeaderVerdict::StoredText;
        }
        if (header_.backLine != 0)
            return HeaderVerdict::Rejected;
        switch (header_.flags) {
        case kFlagPlain:
            // Format 1 in the older files, 0 in the newer ones.
            return header_.format <= 1 ? HeaderVerdict::Accepted : HeaderVerdict::Rejected;
        case kFlagFirstFragment:
            return readForwardPointer() ? HeaderVerdict::AcceptedFirstFragment : HeaderVerdict::Rejected;
        case kFlagContinuation:
            return HeaderVerdict::Continuation;
        default:
            return HeaderVerdict::Rejected;
        }
    }
    return HeaderVerdict::Rejected;
}

void RecordStream::SkipDecompressed(std::uint8_t count)
{
    if (count == 0 || !CanReadControl())
        return;
    unsigned left = count;
    ReadControl();
    for (;;) {
        unsigned covered = 0;
        if (IsRepeatRun(controlByte)) {
            SeekBy(1);  // the repeated byte
            covered = RepeatCount(controlByte);
        } else {
            SeekBy(controlByte);
            covered = controlByte;
        }
        // A run reaching past the wanted bytes is taken whole and ends the walk.
        if (covered >= left || !CanReadControl())
            return;
        left -= covered;
        ReadControl();
    }
}

std::string RecordStream::ContinueName(std::string name)
{
    const std::size_t have = CharacterCount(name);
    if (have >= kNameFieldWidth || !CanReadControl())
        return name;
    unsigned need = static_cast<unsigned>(kNameFieldWidth - have);
    ReadControl();
    for (;;) {
        if (IsRepeatRun(controlByte)) {
            const std::uint8_t byte = ReadByte();
            const unsigned keep = std::min(RepeatCount(controlByte), need);
            if (byte != ' ' && byte != 0)
                name += RepeatText(keep, byte);
            need -= keep;
        } else {
            // Only the run's share of the name field belongs to the name.
            const unsigned keep = std::min<unsigned>(controlByte, need);
            name += ReadStoredString(static_cast<std::uint16_t>(keep));
            SeekBy(static_cast<int>(controlByte - keep));
            need -= keep;
        }
        if (need == 0 || !CanReadControl())
            return name;
        ReadControl();
    }
}

std::string RecordStream::CollectRepeatText(std::uint8_t control, std::uint8_t nextByte)
{
    std::string text;
    controlByte = control;
    std::uint8_t byte = nextByte;
    while (IsRepeatRun(controlByte) && byte != 0) {
        if (byte == ' ')
            return text;
        text += RepeatText(RepeatCount(controlByte), byte);
        if (!ReadPair(controlByte, byte))
            return text;
    }
    if (controlByte == 0 || IsRepeatRun(controlByte))
        return text;
    // A literal run ends the name: its bytes are text like any literal run.
    const std::uint8_t literal = controlByte;
    SeekBy(-1);
    text += ReadStoredString(literal);
    // Take the name's padding with it, so the next field starts here.
    std::uint8_t padControl = 0;
    std::uint8_t padByte = 0;
    if (ReadPair(padControl, padByte) && !IsPadding(padControl, padByte)) {
        SeekBy(-2);
        controlByte = literal;
    }
    return text;
}

std::string RecordStream::CollectFieldSource(std::uint8_t control, std::uint8_t nextByte)
{
    std::string text;
    controlByte = control;
    std::uint8_t byte = nextByte;
    while (IsRepeatRun(controlByte) && byte != 0) {
        if (byte == ' ') {
            SeekBy(-2);  // the caller meets the padding run again
            return text;
        }
        text += RepeatText(RepeatCount(controlByte), byte);
        if (!ReadPair(controlByte, byte))
            return text;
    }
    if (controlByte == 0 || IsRepeatRun(controlByte))
        return text;
    const std::uint8_t literal = controlByte;
    SeekBy(-1);
    text += ReadStoredString(literal);
    return text;
}

std::string RecordStream::ReadStoredString(std::uint16_t length, bool skipLengthWord)
{
    if (skipLengthWord) {
        SeekBy(4);
        length = length >= 4 ? static_cast<std::uint16_t>(length - 4) : 0;
    }
    const std::size_t start = cursor_;
    const std::size_t take = std::min<std::size_t>(length, bytes_.size() - std::min(start, bytes_.size()));
    SeekBy(length);
    return DecodeText(std::span<const std::byte>(bytes_).subspan(std::min(start, bytes_.size()), take));
}

std::string SpacesToUnderscores(std::string text)
{
    std::replace(text.begin(), text.end(), ' ', '_');
    return text;
}

}  // namespace ravelin::ods
