// The keyword matcher on any keyword and text: the input up to its first newline is the
// keyword, the rest the cell text. An ASCII keyword without wildcards must be found in any
// ASCII text that holds it byte for byte.
#include <algorithm>
#include <string_view>
#include <vector>

#include "engine/core/matcher.h"

namespace {

bool plainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c > 0 && c < 0x7F && c != '*' && c != '?' && c != '~';
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text in an exactly sized buffer, so any read past it shows.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t newline = input.find('\n');
    std::string_view keyword = input.substr(0, newline);
    std::string_view rest =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
    std::vector<char> text(rest.begin(), rest.end());
    std::string_view textView(text.data(), text.size());

    quillmark::engine::Matcher matcher(keyword);
    const bool matched = matcher.matches(textView);
    if (matcher.matchesNothing() && matched) __builtin_trap();  // readers would skip the sheet
    if (!keyword.empty() && plainAscii(keyword) && plainAscii(textView) &&
        textView.find(keyword) != std::string_view::npos && !matched)
        __builtin_trap();
    return 0;
}
