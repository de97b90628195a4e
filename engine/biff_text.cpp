// BIFF string decoding: code-page byte strings through iconv, BIFF8 compressed and UTF-16
// characters, and strings that continue across CONTINUE records.
#include "biff_text.h"

#include <iconv.h>

#include <algorithm>
#include <string>

#include "byte_order.h"
#include "utf8.h"

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
    switch (codePage) {
        case 367: case 1200: case 28591: return nullptr;  // ASCII, UTF-16 tag, Latin-1
        case 437: return "CP437";
        case 737: return "CP737";
        case 775: return "CP775";
        case 850: return "CP850";
        case 852: return "CP852";
        case 855: return "CP855";
        case 857: return "CP857";
        case 858: return "CP858";
        case 860: return "CP860";
        case 861: return "CP861";
        case 862: return "CP862";
        case 863: return "CP863";
        case 864: return "CP864";
        case 865: return "CP865";
        case 866: return "CP866";
        case 869: return "CP869";
        case 874: return "CP874";
        case 932: return "CP932";
        case 936: return "CP936";
        case 949: return "CP949";
        case 950: return "CP950";
        case 1250: return "CP1250";
        case 1251: return "CP1251";
        case 1252: return "CP1252";
        case 1253: return "CP1253";
        case 1254: return "CP1254";
        case 1255: return "CP1255";
        case 1256: return "CP1256";
        case 1257: return "CP1257";
        case 1258: return "CP1258";
        case 1361: return "JOHAB";
        case 10000: return "MACINTOSH";
        case 10007: return "MAC-CYRILLIC";
        case 10017: return "MACUKRAINIAN";
        case 10029: return "MAC-CENTRALEUROPE";
        case 10079: return "MAC-IS";
        case 32768: return "MACINTOSH";  // Apple Roman, as BIFF2-BIFF4 files on the Mac say
        case 32769: return "CP1252";     // Windows 3.x ANSI
        default: return nullptr;
    }
}

CodePageDecoder::CodePageDecoder(std::uint16_t codePage) {
    if (const char* name = iconvNameForCodePage(codePage)) {
        iconv_t handle = iconv_open("UTF-8", name);
        if (handle != reinterpret_cast<iconv_t>(-1)) converter_ = handle;
    }
}

CodePageDecoder::~CodePageDecoder() {
    if (converter_) iconv_close(static_cast<iconv_t>(converter_));
}

void CodePageDecoder::append(const std::uint8_t* bytes, std::size_t count,
                             std::string& out) const {
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

bool readUnicodeString(Bytes data, std::size_t& offset, std::size_t countBytes,
                       std::string& out) {
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

ContinuedReader::ContinuedReader(Bytes stream, const Record& first)
    : cursor_(stream, first.offset + 4 + first.data.size()), segment_(first.data) {}

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
