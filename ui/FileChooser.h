#pragma once
// The open and save file dialogs.
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CFileDialogRequest {
    bool bOpen = true;  // open (import) or save (export)
    std::string strInitialName = "nuvik.ini";
    std::string strDefaultExtension = "ini";
    // Pairs of (label, pattern).
    std::vector<std::pair<std::string, std::string>> filters = {
        {"INI Files (*.ini)", "*.ini"},
        {"All Files (*)", "*"},
    };
};

class IFileChooser {
public:
    virtual ~IFileChooser() = default;
    // The full path the user confirmed, or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const CFileDialogRequest& request) = 0;
};
