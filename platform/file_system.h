// The file system as the folder walk needs it: listing a folder with a pattern and an
// attribute mask, and asking what an entry is. POSIX here; a Windows version maps its own
// attribute bits onto the same interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark::platform {

inline constexpr unsigned kListFilesOnly = 0;     // regular files only
inline constexpr unsigned kListWithFolders = 16;  // folders as well as regular files
inline constexpr unsigned kAttributeFolder = 16;  // the folder bit of attributes()

// Which real folder a path leads to, so a walk can enter each one once.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The bare names of the entries of `folder` (a path ending with the separator) whose
    // names match `pattern` ("*" any run, "?" one character, letter case ignored), filtered
    // by `mask`, in the platform's listing order (POSIX: by name with letter case ignored,
    // then by bytes). Links count as what they lead to; "." and ".." are never listed.
    // Empty when the folder cannot be listed. Paths and names are the file system's exact
    // bytes.
    virtual std::vector<std::string> list(const std::string& folder, std::string_view pattern,
                                          unsigned mask) = 0;

    // The entry's attribute bits (kAttributeFolder for a folder, following links), or
    // nothing when they cannot be read. For an entry its folder's listing has just named,
    // the answer may come from that listing.
    virtual std::optional<unsigned> attributes(const std::string& path) = 0;

    // The identity of the folder a path leads to, following links.
    virtual std::optional<FileIdentity> identity(const std::string& path) = 0;
};

// The machine's own file system.
FileSystem& nativeFileSystem();

// The platform's path separator, which every folder path ends with.
inline constexpr char kSeparator = '/';

}  // namespace quillmark::platform
