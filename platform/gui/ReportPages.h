#pragma once
// The pages of one report run, kept for the screen and the printer after the
// run's document is gone: every line of every page, with the images the
// lines show copied in. What the preview shows is exactly what is printed.
// The pages are kept in a page spool, outside the heap; the few asked for
// last are held made, and a page far from them is made again from the spool
// when it is asked for, so the memory does not grow with the report.
//
// The pages may be filled while they are shown: a run on another thread
// starts them (the report's description and its number of pages, known from
// the engine's counting pass), adds each page as it is laid out and finishes
// them, done or stopped. The screen reads what has arrived so far; a page,
// once added, never moves or changes.

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/reports/PageSpool.h"
#include "platform/reports/ReportDocument.h"

namespace pla013::gui {

class ReportPages {
public:
    ReportPages() = default;
    ReportPages(const ReportPages&) = delete;
    ReportPages& operator=(const ReportPages&) = delete;

    // What the pages are: the report, its page format and how many pages the
    // run will make.
    struct Description {
        std::string reportId;
        std::string title;
        int charactersPerLine = 1;
        int linesPerPage = 1;
        bool landscape = false;
        std::size_t pages = 0;
    };
    // The document's (its counting pass runs here).
    static Description describe(const pla013::reports::ReportDocument& document);
    Description description() const;

    // Filling, from the thread that lays the document out: fill() starts
    // the pages from the document and adds each as it is laid out, telling
    // `progress` (done, total) after each.
    void fill(const pla013::reports::ReportDocument& document,
              const std::function<void(std::size_t, std::size_t)>& progress);
    void start(const Description& description);
    void add(const std::vector<pla013::reports::Line>& page);
    void finish();

    // Reading, from any thread. The description holds once started().
    bool started() const { return m_started.load(std::memory_order_acquire); }
    bool finished() const { return m_finished.load(std::memory_order_acquire); }
    // The pages the run will make (the counting pass), or those it made once
    // finished; pageCount() of them have arrived.
    std::size_t expectedPages() const;
    std::size_t pageCount() const { return m_count.load(std::memory_order_acquire); }

    const std::string& reportId() const { return m_description.reportId; }
    const std::string& title() const { return m_description.title; }
    int charactersPerLine() const { return m_description.charactersPerLine; }
    int linesPerPage() const { return m_description.linesPerPage; }
    bool landscape() const { return m_description.landscape; }
    // A page's lines, valid while the pointer is held; std::out_of_range
    // past the pages arrived.
    using Page = std::shared_ptr<const std::vector<pla013::reports::Line>>;
    Page page(std::size_t index) const;

    // Pages held made at once, the last asked for.
    static constexpr std::size_t kPagesHeld = 32;

private:
    Description m_description;
    mutable std::mutex m_mutex;  // over the spool and the pages held
    mutable pla013::reports::PageSpool m_spool;
    // The pages held made, the last asked for first.
    mutable std::list<std::pair<std::size_t, Page>> m_held;
    std::atomic<std::size_t> m_count{0};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_finished{false};
};

}  // namespace pla013::gui
