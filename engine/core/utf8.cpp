// UTF-8 and UTF-16 conversions, written out so that malformed input degrades to U+FFFD
// instead of stopping a search.
#include "engine/core/utf8.h"

namespace quillmark::engine {

void appendDecodedUtf8(std::string_view text, std::u32string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char lead = *p;
        if (lead < 0x80) {
            out.push_back(lead);
            ++p;
            continue;
        }
        int length = (lead & 0xE0) == 0xC0   ? 2
                     : (lead & 0xF0) == 0xE0 ? 3
                     : (lead & 0xF8) == 0xF0 ? 4
                                             : 0;
        if (length == 0 || end - p < length) {
            out.push_back(0xFFFD);
            ++p;
            continue;
        }
        char32_t c = lead & (0x7F >> length);
        bool valid = true;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) valid = false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!valid || c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++p;
            continue;
        }
        out.push_back(c);
        p += length;
    }
}

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    appendDecodedUtf8(text, out);
    return out;
}

void appendUtf8(char32_t c, std::string& out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendUtf16LeAsUtf8(const unsigned char* bytes, std::size_t codeUnits, std::string& out) {
    for (std::size_t i = 0; i < codeUnits; ++i) {
        char32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < codeUnits) {
            char32_t next = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                appendUtf8(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), out);
                ++i;
                continue;
            }
        }
        appendUtf8(unit, out);  // a lone surrogate becomes U+FFFD there
    }
}

void appendLatin1AsUtf8(const unsigned char* bytes, std::size_t count, std::string& out) {
    for (std::size_t i = 0; i < count; ++i) appendUtf8(bytes[i], out);
}

}  // namespace quillmark::engine
