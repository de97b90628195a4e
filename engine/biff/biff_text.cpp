// BIFF string decoding: code-page byte strings through iconv, BIFF8 compressed and UTF-16
// characters, and strings that continue across CONTINUE records.
#include "engine/biff/biff_text.h"

#include <iconv.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>

#include "engine/core/byte_order.h"
#include "engine/core/utf8.h"

namespace quillmark::engine::biff {
namespace {

constexpr std::uint8_t kHighByteFlag = 0x01;
constexpr std::uint8_t kPhoneticFlag = 0x04;  // fExtSt
constexpr std::uint8_t kRichTextFlag = 0x08;  // fRichSt

bool allAscii(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] >= 0x80) return false;
    return true;
}

}  // namespace

const char* iconvNameForCodePage(std::uint16_t codePage) {
    struct Known {
        std::uint16_t codePage;
        const char* iconvName;
    };
    // ASCII (367), the UTF-16 tag BIFF8 writes (1200) and Latin-1 itself need no converter.
    // clang-format off
    static constexpr Known kKnown[] = {
        {437, "CP437"},   {737, "CP737"},   {775, "CP775"},   {850, "CP850"},   {852, "CP852"},
        {855, "CP855"},   {857, "CP857"},   {858, "CP858"},   {860, "CP860"},   {861, "CP861"},
        {862, "CP862"},   {863, "CP863"},   {864, "CP864"},   {865, "CP865"},   {866, "CP866"},
        {869, "CP869"},   {874, "CP874"},   {932, "CP932"},   {936, "CP936"},   {949, "CP949"},
        {950, "CP950"},   {1250, "CP1250"}, {1251, "CP1251"}, {1252, "CP1252"}, {1253, "CP1253"},
        {1254, "CP1254"}, {1255, "CP1255"}, {1256, "CP1256"}, {1257, "CP1257"}, {1258, "CP1258"},
        {1361, "JOHAB"},  {10000, "MACINTOSH"}, {10007, "MAC-CYRILLIC"}, {10017, "MACUKRAINIAN"},
        {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"},
        {32768, "MACINTOSH"},  // Apple Roman, as BIFF2-BIFF4 files from the Mac say
        {32769, "CP1252"},     // Windows 3.x ANSI
    };
    // clang-format on
    for (const Known& known : kKnown)
        if (known.codePage == codePage) return known.iconvName;
    return nullptr;
}

namespace {

// Keeps one converter per code page open for the life of the process. iconv loads a code
// page's module on first use and unloads it when its last converter closes; workbooks on
// several threads would otherwise load and unload it over and over, each time in the dynamic
// loader's own memory, which is slow and which no race checker can follow.
void keepModuleLoaded(const char* name) {
    static std::mutex mutex;
    // Never closed and never destroyed, on purpose: a pointer held by a static
    // keeps the converters reachable, so the leak checker does not count them.
    static auto* kept = new std::map<std::string, iconv_t>;
    std::lock_guard lock(mutex);
    if (kept->count(name) == 0) kept->emplace(name, iconv_open("UTF-8", name));
}

}  // namespace

CodePageDecoder::CodePageDecoder(std::uint16_t codePage) {
    if (const char* name = iconvNameForCodePage(codePage)) {
        keepModuleLoaded(name);
        iconv_t handle = iconv_open("UTF-8", name);
        if (handle != reinterpret_cast<iconv_t>(-1)) converter_ = handle;
    }
}

CodePageDecoder::~CodePageDecoder() {
    if (converter_) iconv_close(static_cast<iconv_t>(converter_));
}

void CodePageDecoder::append(const std::uint8_t* bytes, std::size_t count, std::string& out) const {
    if (allAscii(bytes, count)) {
        out.append(reinterpret_cast<const char*>(bytes), count);
        return;
    }
    if (!converter_) {
        appendLatin1AsUtf8(bytes, count, out);
        return;
    }
    auto handle = static_cast<iconv_t>(converter_);
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::size_t start = out.size();
    out.resize(start + count * 4 + 4);  // no code page byte grows past four UTF-8 bytes
    char* input = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inputLeft = count;
    char* output = out.data() + start;
    std::size_t outputLeft = out.size() - start;
    while (inputLeft > 0) {
        if (iconv(handle, &input, &inputLeft, &output, &outputLeft) != static_cast<size_t>(-1))
            break;
        if (outputLeft < 3) break;
        // A byte the code page does not define becomes U+FFFD, and conversion goes on.
        ++input;
        --inputLeft;
        *output++ = static_cast<char>(0xEF);
        *output++ = static_cast<char>(0xBF);
        *output++ = static_cast<char>(0xBD);
        outputLeft -= 3;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(output - out.data());
}

void appendBiff8Characters(const std::uint8_t* bytes, std::size_t count, bool highByte,
                           std::string& out) {
    if (highByte)
        appendUtf16LeAsUtf8(bytes, count, out);
    else if (allAscii(bytes, count))
        out.append(reinterpret_cast<const char*>(bytes), count);
    else
        appendLatin1AsUtf8(bytes, count, out);
}

bool readUnicodeString(Bytes data, std::size_t& offset, std::size_t countBytes, std::string& out) {
    if (offset > data.size() || data.size() - offset < countBytes + 1) return false;
    std::size_t count = countBytes == 2 ? readU16(data.data() + offset) : data[offset];
    std::uint8_t flags = data[offset + countBytes];
    offset += countBytes + 1;
    bool highByte = flags & kHighByteFlag;
    std::size_t width = highByte ? 2 : 1;
    count = std::min(count, (data.size() - offset) / width);
    appendBiff8Characters(data.data() + offset, count, highByte, out);
    offset += count * width;
    return true;
}

bool readByteString(Bytes data, std::size_t& offset, std::size_t countBytes,
                    const CodePageDecoder& decoder, std::string& out) {
    if (offset > data.size() || data.size() - offset < countBytes) return false;
    std::size_t count = countBytes == 2 ? readU16(data.data() + offset) : data[offset];
    offset += countBytes;
    count = std::min(count, data.size() - offset);
    decoder.append(data.data() + offset, count, out);
    offset += count;
    return true;
}

bool ContinuedReader::nextSegment() {
    if (cursor_.peekType() != record::Continue) return false;
    auto next = cursor_.next();
    if (!next) return false;
    segment_ = next->data;
    position_ = 0;
    return true;
}

bool ContinuedReader::skip(std::size_t count) {
    while (count > 0) {
        if (remaining() == 0 && !nextSegment()) return false;
        std::size_t step = std::min(count, remaining());
        position_ += step;
        count -= step;
    }
    return true;
}

bool ContinuedReader::readU8(std::uint8_t& value) {
    if (remaining() == 0 && !nextSegment()) return false;
    value = segment_[position_++];
    return true;
}

bool ContinuedReader::readU16(std::uint16_t& value) {
    std::uint8_t low, high;
    if (!readU8(low) || !readU8(high)) return false;
    value = static_cast<std::uint16_t>(low | (high << 8));
    return true;
}

bool ContinuedReader::readU32(std::uint32_t& value) {
    std::uint16_t low, high;
    if (!readU16(low) || !readU16(high)) return false;
    value = low | (static_cast<std::uint32_t>(high) << 16);
    return true;
}

bool ContinuedReader::readCharacters(std::size_t count, bool highByte, std::string& out) {
    while (count > 0) {
        if (remaining() == 0) {
            if (!nextSegment() || remaining() == 0) return false;
            highByte = segment_[position_++] & kHighByteFlag;
        }
        std::size_t width = highByte ? 2 : 1;
        std::size_t available = std::min(count, remaining() / width);
        if (available == 0) {  // a lone odd byte where a UTF-16 unit was due
            position_ = segment_.size();
            continue;
        }
        appendBiff8Characters(segment_.data() + position_, available, highByte, out);
        position_ += available * width;
        count -= available;
    }
    return true;
}

bool ContinuedReader::readRichExtendedString(std::string& out) {
    std::uint16_t count;
    std::uint8_t flags;
    if (!readU16(count) || !readU8(flags)) return false;
    std::uint16_t runs = 0;
    std::uint32_t phoneticBytes = 0;
    if ((flags & kRichTextFlag) && !readU16(runs)) return false;
    if ((flags & kPhoneticFlag) && !readU32(phoneticBytes)) return false;
    if (!readCharacters(count, flags & kHighByteFlag, out)) return false;
    // Each formatting run is 4 bytes (character index, font index).
    return skip(std::size_t{runs} * 4) && skip(phoneticBytes);
}

}  // namespace quillmark::engine::biff
