// Choosing the folder to scan. The window asks through this interface, so tests can answer
// in its place.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace quillmark::app {

class FolderPicker {
  public:
    virtual ~FolderPicker() = default;
    // The folder the user settled on, as path bytes ending with the separator, or nothing
    // when the user cancelled.
    virtual std::optional<std::string> pickFolder(QWidget* owner) = 0;
};

// A modal file dialog used as a folder picker: its name box starts with "Select a folder"
// and may hold a name that does not exist, so confirming as it stands yields the folder in
// view; a picked file yields that file's folder.
class DialogFolderPicker final : public FolderPicker {
  public:
    std::optional<std::string> pickFolder(QWidget* owner) override;
};

inline constexpr const char* kPresetFolderName = "Select a folder";

}  // namespace quillmark::app
