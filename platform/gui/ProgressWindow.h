#pragma once
// The modeless progress window of ActiveShowAvi: a text and a busy bar,
// painted at once, since the work that follows keeps the event loop busy.

#include <string>

#include <QWidget>

class QLabel;

namespace pla013gui {

class ProgressWindow final : public QWidget {
public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    void showText(const std::string& text);
    QString text() const;

private:
    QLabel* m_text;
};

}  // namespace pla013gui
