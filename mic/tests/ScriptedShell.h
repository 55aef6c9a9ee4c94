// A shell whose operator is a script: message boxes are recorded and answered, file dialogs
// answered with the next scripted path (or cancelled when the script is empty).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/Shell.h"
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
        int answer = IDOK;
        if (!boxAnswers.empty()) {
            answer = boxAnswers.front();
            boxAnswers.pop_front();
        }
        if (done) done(answer);
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

    /// Small dialogs: recorded, and answered from dialogAnswers (IDOK when it is empty).
    void RunDialog(HWND, ShellDialog dialog, MessageDone done) override
    {
        dialogs.push_back(dialog);
        int answer = IDOK;
        if (!dialogAnswers.empty()) {
            answer = dialogAnswers.front();
            dialogAnswers.pop_front();
        }
        if (done) done(answer);
    }

    void TrayIcon(HWND, const char* tip, int image) override
    {
        trayTip = tip;
        trayImage = image;
    }

    /// The set-up and test dialog and the mini view: recorded and left open until the test
    /// calls closeSetup or closeMiniView.
    void RunSetupDialog(HWND, const SetupDialogPreset& preset, std::function<void()> done) override
    {
        setupDialogs.push_back(preset);
        closeSetup = std::move(done);
    }
    void RunMiniView(HWND, std::function<void()> done) override
    {
        ++miniViews;
        closeMiniView = std::move(done);
    }
    void ShowMiniView(bool show) override { miniViewShown.push_back(show); }
    void WaitCursor(bool on) override { cursorChanges.push_back(on); }
    /// MIDI set-up dialogs: recorded and left open until the test calls closeMidiDialog.
    void RunMidiDialog(HWND, MidiDialog which, std::function<void()> done) override
    {
        midiDialogs.push_back(which);
        closeMidiDialog = std::move(done);
    }
    void OpenMidiMonitor(HWND) override { ++monitorOpened; }
    void CloseMidiMonitor() override { ++monitorClosed; }
    /// Menus: recorded, and answered from menuAnswers (nothing chosen when it is empty).
    void TrackPopupMenu(HWND, const std::vector<MenuItem>& items, MenuCorner corner, std::function<void(UINT)> done) override
    {
        menus.push_back(items);
        menuCorners.push_back(corner);
        UINT id = 0;
        if (!menuAnswers.empty()) {
            id = menuAnswers.front();
            menuAnswers.pop_front();
        }
        if (done) done(id);
    }

    /// The enlarged read-out: records and requests kept; it comes up only when readoutExists,
    /// and is ready once the test calls readoutEvent(true).
    void SetReadoutChannels(HWND, const ReadoutChannels& records, bool changedOnly) override
    {
        readoutRecords.push_back(records);
        readoutChangedOnly.push_back(changedOnly);
        if (duringReadoutRecords) duringReadoutRecords();
    }
    bool ShowReadout(HWND, ReadoutEvent event) override
    {
        ++readoutShown;
        if (!readoutExists) return false;
        readoutEvent = std::move(event);
        return true;
    }
    void CloseReadout(HWND) override { ++readoutClosed; }
    void RaiseForReadout(HWND) override
    {
        ++raisedForReadout;
        frontRemembered = true;
    }
    /// Counts the restores that had a window remembered.
    void RestoreFrontWindow(HWND) override
    {
        if (frontRemembered) ++frontRestored;
        frontRemembered = false;
    }

    int Count(ShellDialog dialog) const
    {
        int n = 0;
        for (ShellDialog d : dialogs) n += d == dialog ? 1 : 0;
        return n;
    }

    std::vector<Box> boxes;
    /// Answers of the coming message boxes (IDOK when it is empty).
    std::deque<int> boxAnswers;
    std::vector<ShellDialog> dialogs;
    std::deque<int> dialogAnswers;
    std::string trayTip;
    int trayImage = kTrayIdle;
    std::vector<FileDialogRequest> requests;
    /// Answers of the coming file dialogs.
    std::deque<std::string> paths;
    std::vector<SetupDialogPreset> setupDialogs;
    std::function<void()> closeSetup;
    int miniViews = 0;
    std::function<void()> closeMiniView;
    std::vector<bool> miniViewShown;
    std::vector<bool> cursorChanges;  // the wait cursor on, off
    std::vector<MidiDialog> midiDialogs;
    std::function<void()> closeMidiDialog;
    int monitorOpened = 0;
    int monitorClosed = 0;
    std::vector<std::vector<MenuItem>> menus;
    std::deque<UINT> menuAnswers;
    std::vector<MenuCorner> menuCorners;
    /// Whether the tray icon shows (no notification area by default).
    bool trayShown = false;
    bool TrayIconShown() const override { return trayShown; }
    bool readoutExists = true;
    /// Runs while the dialog hands over read-out records (in the middle of its work).
    std::function<void()> duringReadoutRecords;
    std::vector<ReadoutChannels> readoutRecords;
    std::vector<bool> readoutChangedOnly;
    ReadoutEvent readoutEvent;
    int readoutShown = 0;
    int readoutClosed = 0;
    int raisedForReadout = 0;
    int frontRestored = 0;
    bool frontRemembered = false;
};
