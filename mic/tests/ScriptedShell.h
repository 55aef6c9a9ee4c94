// A shell whose operator is a script: message boxes are recorded and answered, file dialogs
// answered with the next scripted path (or cancelled when the script is empty).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/Shell.h"
#include "winport/Hooks.h"

class ScriptedShell : public Shell {
public:
    struct Box {
        std::string text;
        UINT type;
    };

    void MessageBox(HWND, const char* text, const char* caption, UINT type, MessageDone done) override
    {
        (void)caption;
        boxes.push_back({text, type});
        if (done) done(IDOK);
    }

    void FileDialog(HWND, const FileDialogRequest& request, FileDone done) override
    {
        requests.push_back(request);
        if (paths.empty()) {
            done(false, CString());
            return;
        }
        std::string path = paths.front();
        paths.pop_front();
        done(true, CString(path.c_str()));
    }

    std::vector<Box> boxes;
    std::vector<FileDialogRequest> requests;
    /// Answers of the coming file dialogs.
    std::deque<std::string> paths;
};
