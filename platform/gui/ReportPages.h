#pragma once
// The pages of one report run, kept for the screen and the printer after the
// run's document is gone: every line of every page, with the images the
// lines show copied in. What the preview shows is exactly what is printed.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/reports/ReportDocument.h"

namespace pla013::gui {

class ReportPages {
public:
    // Lays out every page of the document and copies it.
    static std::unique_ptr<ReportPages> fromDocument(const pla013::reports::ReportDocument& document);

    const std::string& reportId() const { return m_reportId; }
    const std::string& title() const { return m_title; }
    int charactersPerLine() const { return m_pageWidth; }
    int linesPerPage() const { return m_linesPerPage; }
    bool landscape() const { return m_landscape; }
    std::size_t pageCount() const { return m_pages.size(); }
    const std::vector<pla013::reports::Line>& page(std::size_t index) const { return m_pages.at(index); }

private:
    ReportPages() = default;
    std::string m_reportId;
    std::string m_title;
    int m_pageWidth = 1;
    int m_linesPerPage = 1;
    bool m_landscape = false;
    std::vector<std::vector<pla013::reports::Line>> m_pages;
    // Owners of the images the lines point at.
    std::vector<std::unique_ptr<pla013::reports::ImageData>> m_images;
};

}  // namespace pla013::gui
