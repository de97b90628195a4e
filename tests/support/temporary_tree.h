// A temporary folder tree for tests of the folder walk and of what runs over it, made from
// entries written as text, and removed whole even where its names are not UTF-8.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <filesystem>
#include <string>

namespace quillmark::testing {

class TemporaryTree {
  public:
    TemporaryTree() { QVERIFY(directory_.isValid()); }
    explicit TemporaryTree(const QStringList& entries) : TemporaryTree() { make(entries); }
    TemporaryTree(const TemporaryTree&) = delete;
    TemporaryTree& operator=(const TemporaryTree&) = delete;

    // Qt cannot remove names that are not UTF-8; the file system's own calls can.
    ~TemporaryTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root(), ignored);
    }

    // Ends with "/".
    std::string root() const { return directory_.path().toStdString() + "/"; }

    void file(const std::string& relative, const std::string& bytes = {}) const {
        const int descriptor =
            ::open((root() + relative).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        QVERIFY2(descriptor >= 0, relative.c_str());
        const bool written =
            ::write(descriptor, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        ::close(descriptor);
        QVERIFY2(written, relative.c_str());
    }
    void folder(const std::string& relative) const {
        QVERIFY2(::mkdir((root() + relative).c_str(), 0755) == 0, relative.c_str());
    }
    void link(const std::string& target, const std::string& relative) const {
        QVERIFY2(::symlink(target.c_str(), (root() + relative).c_str()) == 0, relative.c_str());
    }
    // Entries relative to the root, in order: "name/" a folder, "name" an empty file,
    // "name>target" a symbolic link, "name|" a FIFO, "name=" a socket file.
    void make(const QStringList& entries) const {
        for (const QString& entry : entries) {
            const std::string text = entry.toStdString();
            const std::string name = text.substr(0, text.find('>'));
            const std::string bare = text.substr(0, text.size() - 1);
            if (text.ends_with('/'))
                folder(text);
            else if (name.size() < text.size())
                link(text.substr(name.size() + 1), name);
            else if (text.ends_with('|'))
                QVERIFY2(::mkfifo((root() + bare).c_str(), 0644) == 0, text.c_str());
            else if (text.ends_with('='))
                bindSocket(root() + bare);
            else
                file(text);
        }
    }

  private:
    // A socket file: bound, then closed, it stays behind, which is all a walk sees.
    static void bindSocket(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(path.size() < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(descriptor >= 0);
        QVERIFY(::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        ::close(descriptor);
    }

    QTemporaryDir directory_;
};

}  // namespace quillmark::testing
