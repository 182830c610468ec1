#pragma once
// A file chooser that answers with a preset path (or a cancel) and records
// what it was asked.
#include <optional>
#include <string>
#include <vector>

#include "ui/FileChooser.h"

class CFakeFileChooser : public IFileChooser {
public:
    std::optional<std::string> answer;  // nothing: the user cancels
    std::vector<CFileDialogRequest> requests;

    std::optional<std::string> ChooseFile(const CFileDialogRequest& request) override
    {
        requests.push_back(request);
        return answer;
    }
};
