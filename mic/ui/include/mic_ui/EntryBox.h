// The gain and mic-line boxes of the channel strips: an editable list whose typing goes to the
// dialog core one character at a time. The core is told of a choice from the list, of each
// character typed (the box's text up to the caret, so that its last character is the one just
// typed wherever the caret stood), and of the end of an entry when the box loses the focus
// (not to its own drop list).
#pragma once

#include <QComboBox>
#include <functional>

class EntryBox : public QComboBox {
public:
    EntryBox(int id, const QStringList& items, QWidget* parent);

    /// The items of a gain box: "00", "05" ... "70".
    static QStringList GainItems();

    /// An item chosen from the list.
    std::function<void(int item)> chosen;
    /// A character typed; text ends with it.
    std::function<void(const char* text)> typed;
    /// The focus went elsewhere.
    std::function<void()> left;

    /// Tells nothing more: for a window that is going, whose boxes lose the focus as it goes.
    void Silence();
    /// Silences every box of a window.
    static void SilenceAll(QWidget* window);

protected:
    void focusOutEvent(QFocusEvent* event) override;
};
