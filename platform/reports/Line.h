#pragma once

#include <string>
#include <vector>

#include "platform/reports/Cell.h"
#include "platform/reports/ImageData.h"

namespace pla013::reports {

enum class LineStyle {
    Title,
    Subtitle,
    Filter,
    ColumnHeader,
    GroupText,
    Detail,
    MemoCaption,
    Memo,
    Image,
    Totals,
    Empty,
    PageFooter,
    Blank
};

// One line of a page (or of the flow without pages), as every target renders it.
struct Line {
    LineStyle style = LineStyle::Blank;
    int level = 0;   // group level of group texts
    int height = 1;  // in lines
    bool bold = false;
    std::vector<Cell> cells;
    const ImageData* image = nullptr;
    // Page footer only: the page number texts, right-aligned.
    std::string right;
    // Column headers only: the headings that span several columns, printed
    // above the captions (the line is a line higher).
    std::vector<Cell> spans;
    // Lines in columns: the positions (in characters) of the gutters drawn
    // between columns under different spanning headings.
    std::vector<int> gutters;
};

}  // namespace pla013::reports
