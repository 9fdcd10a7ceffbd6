#pragma once
// The preview window: the pages as they will print, one below the other in
// one continuous scroll, a list of the pages with thumbnails beside them,
// "Página X de Y" for the page in view, page buttons, zoom (fit width by
// default, whole page, fixed percentages), a search of the pages' text with
// every match marked, and print and save-as for the same report. It opens at
// a size that uses the screen.
// Keyboard: PgDn/PgUp next and previous page, Ctrl+Home/Ctrl+End first and
// last, Ctrl++ / Ctrl+- zoom, Ctrl+F find (Enter or F3 next match,
// Shift+Enter or Shift+F3 previous), Ctrl+P print, Ctrl+S save as, Esc
// closes.
// The pages may still be arriving when the window opens: those not yet laid
// out show as blank sheets, print and save-as wait for the last, and find searches
// those that have arrived.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QRectF>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTimer;
class QToolButton;

namespace pla013::gui {

class ReportPages;

class PreviewWindow final : public QDialog {
public:
    struct Actions {
        std::function<void()> print;
        std::function<std::optional<std::string>()> saveAs;  // the file saved, if any
    };
    enum ZoomIndex { FitWidth = 0, FitPage = 1 };

    PreviewWindow(const ReportPages& pages, Actions actions, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // The report's pages, those still being laid out included.
    std::size_t pageCount() const;
    // Whether every page has arrived (or the run has stopped).
    bool complete() const;
    // Brings the page to the top of the view.
    void showPage(std::size_t page);
    // The page in view.
    std::size_t currentPage() const { return m_page; }
    // Screen pixels per point of paper at the current zoom.
    double scale() const { return m_scale; }
    void setZoomIndex(int index);
    QString pageText() const;

    // The widget the pages are painted on (as big as the view).
    QWidget* pageCanvas() const;
    // Where a page lies on the canvas, in the canvas's pixels, as scrolled.
    QRect pageArea(std::size_t page) const;

    // Finds the text in every page (without regard to accents or case), from
    // the page in view on, marks the matches and shows the first; the number
    // of matches found so far (a long report is searched on, a slice at a
    // time, while the window answers).
    int find(const QString& text);
    // Goes to the next (or previous) match; false when there is none.
    bool findNext(bool forward = true);
    int matchCount() const { return int(m_matches.size()); }
    // "Salvo em ..." after a save-as from this window.
    QString savedText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Canvas;
    // A piece of text as drawn on a page, in points of the paper.
    struct TextRun {
        QRectF box;
        QString text;
        QString key;                  // folded for the search
        std::vector<double> offsets;  // where each character starts, from box.left()
    };
    struct Match {
        std::size_t page;
        QRectF box;
    };
    void updateScale();
    void updatePageControls();
    void followScroll();
    void makeThumbnails();
    void takeArrivals();
    std::vector<TextRun> textOf(std::size_t page) const;
    void searchSome(std::size_t atLeast);
    void showMatch(bool scroll = true);

    const ReportPages& m_pages;
    Actions m_actions;
    std::size_t m_page = 0;
    double m_scale = 1.0;
    bool m_scrolling = false;
    Canvas* m_canvas;
    QListWidget* m_pageList;
    QTimer* m_thumbnails;
    QTimer* m_arrivals;
    QTimer* m_finder;  // goes on with a long search
    std::size_t m_ready = 0;
    std::size_t m_nextThumbnail = 0;
    QComboBox* m_zoom;
    QSpinBox* m_pageNumber;
    QLabel* m_pageLabel;
    QToolButton* m_first;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_last;
    QLineEdit* m_find;
    QLabel* m_findLabel;
    QLabel* m_saved;  // where the last save-as went
    struct Search {
        QString needle;
        std::size_t pages = 0;  // the pages searched: those laid out when it began
        std::size_t first = 0;  // where it began
        std::size_t done = 0;   // pages searched so far
    } m_search;
    std::vector<Match> m_matches;
    int m_match = -1;
};

}  // namespace pla013::gui
