#pragma once
// A one-line label that shortens its text to the room it is given (in the
// middle, so that a path keeps its start and its file name) and shows it
// whole in its tooltip. It never asks for more room than a few letters: a
// long text cannot widen its window.

#include <algorithm>

#include <QLabel>
#include <QResizeEvent>

namespace pla013::gui::internal {

class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr, int preferredWidth = 360)
        : QLabel(parent), m_preferred(preferredWidth) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    // The whole text; tip is put before it in the tooltip when given.
    void setFullText(const QString& text, const QString& tip = QString()) {
        m_full = text;
        setToolTip(tip.isEmpty() ? text : tip + QStringLiteral("\n") + text);
        updateGeometry();
        elide();
    }
    const QString& fullText() const { return m_full; }
    QSize sizeHint() const override {
        return QSize(std::min(fontMetrics().horizontalAdvance(m_full) + 8, m_preferred), QLabel::sizeHint().height());
    }
    QSize minimumSizeHint() const override { return QSize(40, QLabel::minimumSizeHint().height()); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, std::max(0, width() - 4))); }
    QString m_full;
    int m_preferred;
};

}  // namespace pla013::gui::internal
