#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/reports/ImageData.h"
#include "platform/reports/Line.h"
#include "platform/reports/internal/Band.h"
#include "platform/reports/internal/ColumnLayout.h"
#include "platform/reports/internal/ReportData.h"

namespace pla013::reports::internal {

// The body of a report as a sequence of bands, with the texts, images and
// totals they show. A band becomes a line on demand; detail lines read their
// row from the data then.
class BandFlow {
public:
    struct Totals {
        std::string caption;      // free text at the left (figures no column shows come after it)
        std::vector<Cell> cells;  // placed under columns
    };

    BandFlow(const ReportData& data, const ColumnLayout& columns, int pageWidth)
        : m_data(data), m_columns(columns), m_pageWidth(pageWidth) {}

    void reserve(std::size_t bands) { m_bands.reserve(bands); }
    void addText(Band::Kind kind, int level, std::string text, bool bold, bool keepWithNext);
    void addImage(int level, int lines, bool keepWithNext, std::unique_ptr<ImageData> image);
    void addTotals(int level, Totals totals);
    void addDetail(int level, std::size_t row);
    // The band at index starts a new page.
    void breakPageBefore(std::size_t band) { m_bands[band].newPage = true; }

    std::size_t size() const { return m_bands.size(); }
    const std::vector<Band>& bands() const { return m_bands; }
    Line line(std::size_t band) const;

private:
    struct Text {
        std::string text;
        bool bold;
    };

    void add(Band::Kind kind, int level, int lines, bool keepWithNext, std::size_t ref);
    void addFreeText(Line& line, const std::string& text, int indent) const;
    void fillTotals(Line& line, const Totals& totals, int indent) const;

    const ReportData& m_data;
    const ColumnLayout& m_columns;
    const int m_pageWidth;
    std::vector<Band> m_bands;
    std::vector<Text> m_texts;
    std::vector<std::unique_ptr<ImageData>> m_images;
    std::vector<Totals> m_totals;
};

}  // namespace pla013::reports::internal
