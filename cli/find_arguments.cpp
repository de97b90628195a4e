// Parsing quillmark-find's arguments. An argument that looks like an option is one until the
// first path; after it, one that is no known option is a path or the keyword, so that
// `quillmark-find book.xlsx -5` looks for "-5" as it always did.
#include "cli/find_arguments.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <thread>

namespace quillmark::cli {
namespace {

// A whole number from `low` to `high`, the whole text.
bool parseNumber(const std::string& text, std::size_t low, std::size_t high, std::size_t& out) {
    std::size_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// The value of an option written "--name VALUE" or "--name=VALUE"; false when `argument` is
// not that option.
bool optionValue(const std::vector<std::string>& arguments, std::size_t& i, const std::string& name,
                 const std::string& shortName, std::optional<std::string>& value) {
    const std::string& argument = arguments[i];
    if (argument.starts_with(name + "=")) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    if (argument != name && (shortName.empty() || argument != shortName)) return false;
    value = i + 1 < arguments.size() ? std::optional(arguments[++i]) : std::nullopt;
    return true;
}

// Takes one option at `i` into `options`: true when it was one, with `problem` set when its
// value is bad.
bool takeOption(const std::vector<std::string>& arguments, std::size_t& i, FindOptions& options,
                std::string& problem) {
    const std::string& argument = arguments[i];
    std::optional<std::string> value;
    std::size_t number = 0;
    if (argument == "--help" || argument == "-h") {
        options.help = true;
    } else if (argument == "--files") {
        options.filesOnly = true;
    } else if (argument == "--cells") {
        options.cells = true;
    } else if (argument == "-s" || argument == "--no-messages") {
        options.quiet = true;
    } else if (optionValue(arguments, i, "--jobs", "-j", value)) {
        if (!value || !parseNumber(*value, 1, 256, number))
            problem = "--jobs takes a whole number from 1 to 256";
        options.jobs = static_cast<unsigned>(number);
    } else if (optionValue(arguments, i, "--max-hits", "", value)) {
        if (!value || !parseNumber(*value, 0, 1'000'000, number))
            problem = "--max-hits takes a whole number from 0 to 1000000";
        options.maxHits = number;
    } else {
        return false;
    }
    return true;
}

}  // namespace

Outcome<FindOptions, std::string> parseArguments(const std::vector<std::string>& arguments) {
    FindOptions options;
    options.jobs = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            positional.insert(positional.end(), arguments.begin() + i + 1, arguments.end());
            break;
        }
        std::string problem;
        if (takeOption(arguments, i, options, problem)) {
            if (!problem.empty()) return problem;
        } else if (argument.size() > 1 && argument[0] == '-' && positional.empty()) {
            return "unknown option " + argument;
        } else {
            positional.push_back(argument);
        }
    }
    if (options.help) return options;
    if (!options.filesOnly) {
        if (positional.size() < 2) return std::string("expected FOLDER... KEYWORD");
        options.keyword = positional.back();
        positional.pop_back();
    } else if (positional.empty()) {
        return std::string("--files takes at least one FOLDER");
    }
    if (options.filesOnly && options.cells)
        return std::string("--files and --cells exclude each other");
    options.paths = std::move(positional);
    return options;
}

}  // namespace quillmark::cli
