// The folder walk. A folder's matching files are appended first, then its subfolders are
// walked one whole subtree at a time. The walk keeps its own stack of pending subfolders
// instead of recursing, so a deep tree cannot exhaust the call stack, and it remembers which
// real folders it has entered, so a link that loops back ends instead of running on.
#include "search/folder_scan.h"

#include <optional>
#include <unordered_set>
#include <vector>

namespace quillmark::search {
namespace {

using platform::FileIdentity;
using platform::FileSystem;

struct IdentityHash {
    std::size_t operator()(const FileIdentity& identity) const {
        return std::hash<std::uint64_t>{}(identity.inode * 0x9E3779B97F4A7C15ull ^ identity.device);
    }
};

// The subfolders of one folder that are still to be walked, in listing order.
struct PendingSubfolders {
    std::vector<std::string> paths;
    std::size_t next = 0;
};

class FolderWalk {
  public:
    FolderWalk(const std::string& fileType, ScanSink& sink, FileSystem& fileSystem)
        : fileType_(fileType), sink_(sink), fileSystem_(fileSystem) {}

    void run(const std::string& start) {
        if (sink_.abandoned() || !enterOnce(start)) return;
        std::vector<PendingSubfolders> stack;
        if (!scanFolder(start, stack)) return;
        while (!stack.empty()) {
            PendingSubfolders& top = stack.back();
            if (top.next == top.paths.size()) {
                stack.pop_back();
                continue;
            }
            const std::string folder = std::move(top.paths[top.next++]);
            if (!enterOnce(folder)) continue;
            if (!scanFolder(folder, stack)) return;
        }
    }

  private:
    // Whether this folder has not been entered before in this walk. A path whose identity
    // cannot be read is entered; its listings then find whatever they can, usually nothing.
    bool enterOnce(const std::string& folder) {
        const std::optional<FileIdentity> identity = fileSystem_.identity(folder);
        return !identity || entered_.insert(*identity).second;
    }

    // Lets the caller's event loop run; false once the caller has given this walk up.
    bool yieldToCaller() {
        sink_.processEvents();
        return !sink_.abandoned();
    }

    // Both listings of one folder: its matching files go to the sink, its subfolders onto
    // the stack. False when the walk was abandoned on the way.
    bool scanFolder(const std::string& folder, std::vector<PendingSubfolders>& stack) {
        for (const std::string& name :
             fileSystem_.list(folder, fileType_, platform::kListFilesOnly)) {
            sink_.append(folder + name);
            if (!yieldToCaller()) return false;
        }
        PendingSubfolders subfolders;
        for (const std::string& name : fileSystem_.list(folder, "*", platform::kListWithFolders)) {
            // Names beginning with "." are hidden folders by convention: never entered.
            if (!name.starts_with('.') && mayBeFolder(folder + name))
                subfolders.paths.push_back(folder + name + platform::kSeparator);
            if (!yieldToCaller()) return false;
        }
        if (!subfolders.paths.empty()) stack.push_back(std::move(subfolders));
        return true;
    }

    // An entry whose attributes cannot be read is kept as a subfolder: if it is one after
    // all it gets walked, and if not its listings are simply empty.
    bool mayBeFolder(const std::string& path) {
        const std::optional<unsigned> attributes = fileSystem_.attributes(path);
        return !attributes || (*attributes & platform::kAttributeFolder) != 0;
    }

    const std::string& fileType_;
    ScanSink& sink_;
    FileSystem& fileSystem_;
    std::unordered_set<FileIdentity, IdentityHash> entered_;
};

}  // namespace

void SearchFiles(const std::string& path, const std::string& fileType, ScanSink& sink,
                 platform::FileSystem& fileSystem) {
    FolderWalk(fileType, sink, fileSystem).run(path);
}

}  // namespace quillmark::search
