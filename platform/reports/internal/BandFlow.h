#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/reports/ImageData.h"
#include "platform/reports/Line.h"
#include "platform/reports/internal/Band.h"
#include "platform/reports/internal/ColumnLayout.h"
#include "platform/reports/internal/ReportData.h"

namespace pla013::reports::internal {

// The bands of a report's body that wait for their page, in order: each
// band with its line, made when the band is added (a detail line from its
// row, which is not kept). Bands leave from the front once their page is out,
// so the flow holds about a page whatever the report's size.
//
// A flow that only measures (content false) keeps the bands' sizes and
// breaks and no lines: enough to count pages.
class BandFlow {
public:
    struct Totals {
        std::string caption;      // free text at the left (figures no column shows come after it)
        std::vector<Cell> cells;  // placed under columns
    };

    BandFlow(const ColumnLayout& columns, int pageWidth, bool content)
        : m_columns(columns), m_pageWidth(pageWidth), m_content(content) {}

    // Whether lines are made (else only bands are kept).
    bool content() const { return m_content; }

    void addText(Band::Kind kind, int level, std::string text, bool bold, bool keepWithNext);
    void addImage(int level, int lines, bool keepWithNext, std::unique_ptr<ImageData> image);
    void addTotals(int level, Totals totals);
    // A cell `width` characters wide: beside the one before when that was
    // inline too and the line has room, else at the start of a line of its own.
    void addInline(int level, std::string text, int width);
    void addDetail(int level, const ReportData::Row& row, bool bold, bool keepWithNext = false);
    // The band at index (of those waiting) starts a new page.
    void breakPageBefore(std::size_t band) { m_bands[band].newPage = true; }
    // The band at index (of those waiting) is the heading of a group of the
    // level: a page that the group continues on repeats it.
    // cell: the cell of its line that takes "(continuação)".
    void markHeading(std::size_t band, int level, int cell = 0);
    // The groups of the level and deeper end with the last band added.
    void closeLevels(int level);
    // The band at index (of those waiting) is a line left blank on purpose.
    void markBlank(std::size_t band) { m_bands[band].blank = true; }
    // While on, the bands added belong to a group kept on one page; off
    // makes the last band added the group's last.
    void keepTogether(bool on);

    // The headings that a page starting at the oldest band waiting repeats,
    // "(continuação)" added, outermost first: their number, and the lines
    // appended to out (a flow with content).
    int continuation(std::vector<Line>* out) const;

    // The bands waiting, oldest first.
    std::size_t size() const { return m_bands.size(); }
    const std::deque<Band>& bands() const { return m_bands; }
    // The line of a waiting band (a flow with content only).
    Line& line(std::size_t band) { return m_lines[band]; }
    // Drops the n oldest bands, their page being out.
    void drop(std::size_t n);

private:
    void add(Band::Kind kind, int level, int lines, bool keepWithNext, Line line);
    void addFreeText(Line& line, const std::string& text, int indent) const;
    void fillTotals(Line& line, const Totals& totals, int indent) const;

    const ColumnLayout& m_columns;
    const int m_pageWidth;
    const bool m_content;
    std::deque<Band> m_bands;
    std::deque<Line> m_lines;                         // with content: one per band
    std::deque<std::unique_ptr<ImageData>> m_images;  // owners of the lines' images, oldest first
    bool m_together = false;
    int m_inlineEnd = -1;  // where the next inline cell of the last band would start; -1: not inline
    // The groups open before the oldest band waiting, by level: whether the
    // level's group has a heading, and (with content) its line.
    std::vector<bool> m_open;
    std::vector<Line> m_openHeadings;
    std::vector<int> m_openHeadingCells;
    std::deque<Line> m_headings;     // lines of the heading bands waiting, oldest first
    std::deque<int> m_headingCells;  // with them, the cell that takes "(continuação)"
};

}  // namespace pla013::reports::internal
