#pragma once
// The modeless progress window of ActiveShowAvi: a text and a busy bar,
// painted at once, since the work that follows keeps the event loop busy.

#include <string>

#include <QWidget>

class QLabel;

namespace pla013::gui {

class ProgressWindow final : public QWidget {
public:
    // A window of its own (not a child of the main window, which may go
    // first); shown over `over` when given.
    ProgressWindow();
    void showText(const std::string& text, QWidget* over = nullptr);
    QString text() const;

private:
    QLabel* m_text;
};

}  // namespace pla013::gui
