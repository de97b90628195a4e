// The file system over POSIX: folder listings with wildcard and type filtering, and stat for
// what an entry is. Nothing here opens a file, so a FIFO in the tree can never block a walk,
// and every failure (missing, unreadable, name too long) is simply an empty answer.
// A walk asks for the attributes of every entry it has just listed; those answers come from
// the listing itself for a moment afterwards, which spares a full path lookup per entry.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <unordered_map>

#include "platform/file_system.h"
#include "platform/name_pattern.h"

namespace quillmark::platform {
namespace {

enum class EntryKind { RegularFile, Folder, Other };

EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::RegularFile;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    return EntryKind::Other;
}

// The entry's kind with links followed: a link counts as what it leads to, a dangling one
// as nothing. The directory entry's own type spares a stat for plain files and folders.
EntryKind kindOfEntry(int folderDescriptor, const dirent& entry) {
    switch (entry.d_type) {
        case DT_REG:
            return EntryKind::RegularFile;
        case DT_DIR:
            return EntryKind::Folder;
        case DT_LNK:
        case DT_UNKNOWN:
            break;
        default:
            return EntryKind::Other;  // FIFO, socket, device
    }
    struct stat status;
    if (fstatat(folderDescriptor, entry.d_name, &status, 0) != 0) return EntryKind::Other;
    return kindOfMode(status.st_mode);
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

struct ListedName {
    std::u32string folded;
    std::string bytes;
};

// Letter case ignored first, as a file manager shows a folder; the exact bytes break ties
// so the order is the same on every run.
bool listedBefore(const ListedName& left, const ListedName& right) {
    if (left.folded != right.folded) return left.folded < right.folded;
    return left.bytes < right.bytes;
}

bool containsNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// What the latest listing with folders on this thread found each of its entries to be, so
// that the walk's question "is this entry a folder?" costs no stat(2): on a tree of 100,000
// files bench/scan.sh times the walk at 0.31 s with it and 0.73 s with a stat per entry.
// Each entry answers once and only briefly; any other question gets a fresh stat, so a
// listing that changes later is seen as it is.
class RecentListing {
  public:
    void remember(const std::string& folder, const std::vector<ListedName>& listed,
                  const std::vector<EntryKind>& kinds) {
        folder_ = folder;
        isFolder_.clear();
        for (std::size_t i = 0; i < listed.size(); ++i)
            isFolder_.emplace(listed[i].bytes, kinds[i] == EntryKind::Folder);
        madeAt_ = std::chrono::steady_clock::now();
    }

    // Whether `path` is a folder, when it names an entry of that listing and the listing is
    // recent enough to answer for it.
    std::optional<bool> takeIsFolder(const std::string& path) {
        if (path.size() <= folder_.size() || path.compare(0, folder_.size(), folder_) != 0)
            return std::nullopt;
        if (std::chrono::steady_clock::now() - madeAt_ > kLifetime) return std::nullopt;
        const auto found = isFolder_.find(path.substr(folder_.size()));
        if (found == isFolder_.end()) return std::nullopt;
        const bool isFolder = found->second;
        isFolder_.erase(found);
        return isFolder;
    }

  private:
    static constexpr std::chrono::milliseconds kLifetime{500};
    std::string folder_;
    std::unordered_map<std::string, bool> isFolder_;
    std::chrono::steady_clock::time_point madeAt_;
};

thread_local RecentListing recentListing;

class PosixFileSystem final : public FileSystem {
  public:
    std::vector<std::string> list(const std::string& folder, std::string_view pattern,
                                  unsigned mask) override {
        if (folder.empty() || containsNul(folder)) return {};
        std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), closedir);
        if (!directory) return {};
        const std::u32string foldedPattern = foldedName(pattern);
        const bool withFolders = (mask & kListWithFolders) != 0;
        std::vector<ListedName> listed;
        std::vector<EntryKind> kinds;
        // A read error part-way simply ends the listing with what was read so far.
        while (const dirent* entry = readdir(directory.get())) {
            if (isDotOrDotDot(entry->d_name)) continue;
            ListedName name{foldedName(entry->d_name), entry->d_name};
            if (!matchesPattern(foldedPattern, name.folded)) continue;
            const EntryKind kind = kindOfEntry(dirfd(directory.get()), *entry);
            if (kind == EntryKind::RegularFile || (withFolders && kind == EntryKind::Folder)) {
                listed.push_back(std::move(name));
                kinds.push_back(kind);
            }
        }
        if (withFolders) recentListing.remember(folder, listed, kinds);
        std::sort(listed.begin(), listed.end(), listedBefore);
        std::vector<std::string> names;
        names.reserve(listed.size());
        for (ListedName& name : listed) names.push_back(std::move(name.bytes));
        return names;
    }

    std::optional<unsigned> attributes(const std::string& path) override {
        std::optional<bool> isFolder = recentListing.takeIsFolder(path);
        if (!isFolder) {
            struct stat status;
            if (containsNul(path) || stat(path.c_str(), &status) != 0) return std::nullopt;
            isFolder = kindOfMode(status.st_mode) == EntryKind::Folder;
        }
        return *isFolder ? kAttributeFolder : 0u;
    }

    std::optional<FileIdentity> identity(const std::string& path) override {
        struct stat status;
        if (containsNul(path) || stat(path.c_str(), &status) != 0) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                            static_cast<std::uint64_t>(status.st_ino)};
    }
};

}  // namespace

FileSystem& nativeFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace quillmark::platform
