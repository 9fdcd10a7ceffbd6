#pragma once
// The preview window: the pages as they will print, one at a time, with
// "Página X de Y", page buttons, zoom (fit width by default, whole page,
// fixed percentages), and print and save-as for the same report.
// Keyboard: PgDn/PgUp next and previous page, Ctrl+Home/Ctrl+End first and
// last, Ctrl++ / Ctrl+- zoom, Ctrl+P print, Ctrl+S save as, Esc closes.

#include <functional>

#include <QDialog>

class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace pla013::gui {

class ReportPages;

class PreviewWindow final : public QDialog {
public:
    struct Actions {
        std::function<void()> print;
        std::function<void()> saveAs;
    };
    enum ZoomIndex { FitWidth = 0, FitPage = 1 };

    PreviewWindow(const ReportPages& pages, Actions actions, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    std::size_t pageCount() const;
    void showPage(std::size_t page);
    // Screen pixels per point of paper at the current zoom.
    double scale() const { return m_scale; }
    void setZoomIndex(int index);
    QString pageText() const;

    QWidget* pageCanvas() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Canvas;
    void updateScale();
    void updatePageControls();

    const ReportPages& m_pages;
    Actions m_actions;
    std::size_t m_page = 0;
    double m_scale = 1.0;
    QScrollArea* m_scroll;
    Canvas* m_canvas;
    QComboBox* m_zoom;
    QSpinBox* m_pageNumber;
    QLabel* m_pageLabel;
    QToolButton* m_first;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_last;
};

}  // namespace pla013::gui
