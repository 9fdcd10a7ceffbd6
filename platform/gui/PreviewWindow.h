#pragma once
// The preview window: the pages as they will print, one below the other in
// one continuous scroll (or two side by side), a list of the pages with
// thumbnails beside them (Ctrl+T hides and shows it), "Página X de Y" for the
// page in view, page buttons, zoom (fit width by default, whole page, two
// pages, steps from 25% to 400% or any percentage typed in its box), a
// search of the report's text with every match marked and listed with its
// context in a pane, and print and save-as for the same report. The window
// always fits the screen it is on.
// Keyboard: PgDn/PgUp next and previous page, Ctrl+Home/Ctrl+End first and
// last, Ctrl++ / Ctrl+- (and Ctrl+wheel) zoom, Ctrl+F find (Enter or F3 next
// match, Shift+Enter or Shift+F3 previous), Ctrl+P print, Ctrl+S save as.
// Esc in the find box or its pane goes back to the pages; Esc on the pages
// closes the window.
// The pages may still be arriving when the window opens: those not yet laid
// out show as blank sheets, print and save-as wait for the last, and find
// searches those that have arrived.

#include <functional>
#include <map>
#include <optional>
#include <set>
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

namespace internal {
class ElidedLabel;
}

class ReportPages;

class PreviewWindow final : public QDialog {
public:
    struct Actions {
        std::function<std::optional<std::string>()> print;   // a PDF file printed to, if any
        std::function<std::optional<std::string>()> saveAs;  // the file saved, if any
    };
    // The zoom box's first entries; the percentages follow.
    enum ZoomIndex { FitWidth = 0, FitPage = 1, TwoPages = 2 };

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
    // The zoom as a percentage of the paper's real size, whatever chose it.
    int zoomPercent() const;
    void setZoomPercent(int percent);
    // One step up or down from the zoom in use.
    void zoomIn(bool in = true);
    // What the zoom box shows.
    QString zoomText() const;
    QString pageText() const;

    // The widget the pages are painted on (as big as the view).
    QWidget* pageCanvas() const;
    // Where a page lies on the canvas, in the canvas's pixels, as scrolled.
    QRect pageArea(std::size_t page) const;

    // Finds the text in the report's text (without regard to accents or
    // case), from the page in view on, lists and marks the matches and shows
    // the first; the number of matches found so far (a long report is
    // searched on, a slice at a time, while the window answers).
    int find(const QString& text);
    // Goes to the next (or previous) match; false when there is none.
    bool findNext(bool forward = true);
    int matchCount() const { return int(m_matches.size()); }
    // Whether a search is still going on through the pages.
    bool searching() const { return m_search.done < m_search.pages; }
    // The match shown (from 0), -1 when none.
    int currentMatch() const { return m_match; }
    // Where the matches of a page are drawn, in points of the paper.
    const std::vector<QRectF>& marksOn(std::size_t page) const;
    // "Salvo em ..." after a save-as (or a print to a file) from this window.
    QString savedText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Canvas;
    struct Match {
        std::size_t page;
        int ordinal;  // among the matches of its page, in the order they are drawn
        std::size_t line;
        int at;  // where in the line's text
    };
    void updateScale();
    void updateZoomText();
    void updatePageControls();
    void followScroll();
    void makeThumbnails();
    void takeArrivals();
    // The folded text of each line of a page, its texts apart; valid until
    // the next call (only the last page's are kept: a search goes through
    // them once, and memory does not grow with the report).
    const std::vector<QString>& lineKeys(std::size_t page);
    QString lineText(std::size_t page, std::size_t line) const;
    void searchSome(std::size_t atLeast);
    void showMatch(bool scroll = true);
    void listMatches(std::size_t from);
    void saved(const std::optional<std::string>& file);

    const ReportPages& m_pages;
    Actions m_actions;
    std::size_t m_page = 0;
    double m_scale = 1.0;
    int m_mode = FitWidth;  // a ZoomIndex, or -1: the percentage m_percent
    int m_percent = 100;
    bool m_scrolling = false;
    Canvas* m_canvas;
    QListWidget* m_pageList;
    QTimer* m_thumbnails;
    QTimer* m_arrivals;
    QTimer* m_finder;  // goes on with a long search
    std::size_t m_ready = 0;
    std::set<int> m_thumbnailRows;  // the rows whose thumbnail is made
    QComboBox* m_zoom;
    QSpinBox* m_pageNumber;
    QLabel* m_pageLabel;
    QToolButton* m_first;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_last;
    QToolButton* m_thumbsButton;
    QLineEdit* m_find;
    QLabel* m_findLabel;
    QListWidget* m_hits;             // the matches with their context
    internal::ElidedLabel* m_saved;  // where the last save-as went
    struct Search {
        QString needle;
        std::size_t pages = 0;  // the pages searched: those laid out when it began
        std::size_t first = 0;  // where it began
        std::size_t done = 0;   // pages searched so far
    } m_search;
    struct {
        std::size_t page = std::size_t(-1);
        std::vector<QString> keys;
    } m_keys;  // lineKeys of the last page
    std::vector<Match> m_matches;
    std::map<std::size_t, int> m_pageMatches;  // how many on each page that has any
    int m_match = -1;
    mutable std::map<std::size_t, std::vector<QRectF>> m_marks;  // marksOn, page by page
};

}  // namespace pla013::gui
