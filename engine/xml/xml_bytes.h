// Byte-level tests on raw XML shared by the readers that look at a part without tokenizing
// it: white space, where a name ends, and a qualified name's local part.
#pragma once

#include <string_view>

namespace quillmark::engine {

constexpr bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr bool isXmlNameEnd(char c) {
    return isXmlSpace(c) || c == '/' || c == '>';
}

constexpr std::string_view localPartOf(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.rfind(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

// The name of the tag whose "<" or "</" ends just before `from`.
constexpr std::string_view xmlTagNameAt(std::string_view bytes, std::size_t from) {
    std::size_t end = from;
    while (end < bytes.size() && !isXmlNameEnd(bytes[end])) ++end;
    return bytes.substr(from, end - from);
}

}  // namespace quillmark::engine
