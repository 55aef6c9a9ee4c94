// The program's small modal dialogs: the about box, the confirmation before closing and the
// port error. Each is laid out from its template in dialog units, in the program's dialog
// colours and font, and ends with the id of the button that closed it (IDOK or IDCANCEL; Escape
// and the window's close box give IDCANCEL).
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <initializer_list>

#include "winport/Hooks.h"
#include "winport/WinTypes.h"

/// The dialog colours of the whole program: background and text.
constexpr COLORREF kDialogBackground = 0x6B441D;  // red 29, green 68, blue 107
constexpr COLORREF kDialogText = 0xFDFBED;        // red 237, green 251, blue 253

/// The look every dialog of the program shares: its template size in dialog units, fixed; the
/// dialog font; the program's icon; the dialog colours.
void ApplyDialogLook(QWidget* dialog, int widthDu, int heightDu);

/// A dialog built from a template: fixed size in dialog units, controls placed in dialog
/// units. Control ids are kept as the widgets' object names ("1", "2" ...).
class SmallDialog : public QDialog {
    Q_OBJECT
public:
    SmallDialog(int templateId, const char* caption, int widthDu, int heightDu, QWidget* parent);

    int TemplateId() const { return m_nTemplateId; }
    /// The control with the id, or null.
    QWidget* Control(int id) const;
    /// The static texts, top to bottom.
    QStringList Texts() const;

    void accept() override { done(IDOK); }
    void reject() override { done(IDCANCEL); }

protected:
    QLabel* AddStatic(int id, const char* text, int x, int y, int w, int h);
    /// A push button; IDOK and IDCANCEL end the dialog with their id.
    QPushButton* AddButton(int id, const char* text, int x, int y, int w, int h, bool isDefault);
    QLabel* AddIcon(int id, int x, int y);
    /// Switches the visual theme off for the controls with these ids, so that the dialog's own
    /// colours show on them (nothing where no theme is active).
    void RemoveThemes(std::initializer_list<int> ids);

private:
    int m_nTemplateId;
};

class CAboutDlg : public SmallDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

class CConfirmClose : public SmallDialog {
    Q_OBJECT
public:
    explicit CConfirmClose(QWidget* parent = nullptr);
};

class CPortError : public SmallDialog {
    Q_OBJECT
public:
    explicit CPortError(QWidget* parent = nullptr);
};

/// The program's icon (icon resource 128).
QIcon ProgramIcon();
