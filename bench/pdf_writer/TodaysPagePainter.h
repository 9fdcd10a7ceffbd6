#pragma once
// Today's Qt painter of report pages (see TodaysPagePainter.cpp).

#include <memory>
#include <vector>

#include <QSizeF>

#include "platform/reports/Line.h"

class QPainter;

namespace benchpdf {

class TodaysPagePainter {
public:
    TodaysPagePainter(QPainter& painter, int charactersPerLine, int linesPerPage, QSizeF paper);
    ~TodaysPagePainter();
    TodaysPagePainter(const TodaysPagePainter&) = delete;
    TodaysPagePainter& operator=(const TodaysPagePainter&) = delete;
    void page(const std::vector<pla013::reports::Line>& lines);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace benchpdf
