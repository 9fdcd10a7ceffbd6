// The Qt painter of report pages as it was before the page geometry was
// shared with the PDF writer, word for word but its names: the benchmark's
// baseline draws today's pages the way today's path did.
#include "TodaysPagePainter.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace benchpdf {

using namespace pla013::reports;

namespace {

constexpr double kMargin = 28.0;  // points

// The condensed cut fits the report's character grid at a readable size.
const char* const kFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
};

QString fontFamily() {
    static QString family = [] {
        QString name = "DejaVu Sans";
        for (const char* f : kFontFiles) {
            if (!QFile::exists(f)) continue;
            int id = QFontDatabase::addApplicationFont(f);
            if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty())
                name = QFontDatabase::applicationFontFamilies(id).front();
        }
        return name;
    }();
    return family;
}

// Texts measured in one font, each distinct text once: a report repeats
// most of its texts (units, names, captions, figures), and measuring is what
// drawing a cell costs most. The cache forgets everything when it holds
// kMaxTexts texts, so that its memory does not grow with the report.
class MeasuredTexts {
public:
    struct Text {
        QString text;
        double advance = 0;
        // The text cut with an ellipsis to fit elidedWidth, made when needed.
        double elidedWidth = -1;
        QString elided;
        double elidedAdvance = 0;
    };

    explicit MeasuredTexts(const QFontMetricsF& metrics) : m_fm(metrics) {}

    const Text& get(const std::string& s) { return entry(s); }
    // What fits in width: the text, or its start and an ellipsis; and its advance.
    std::pair<const QString*, double> fitting(const std::string& s, double width) {
        Text& t = entry(s);
        if (t.advance <= width) return {&t.text, t.advance};
        if (t.elidedWidth != width) {
            t.elided = m_fm.elidedText(t.text, Qt::ElideRight, width);
            t.elidedAdvance = m_fm.horizontalAdvance(t.elided);
            t.elidedWidth = width;
        }
        return {&t.elided, t.elidedAdvance};
    }
    const QFontMetricsF& metrics() const { return m_fm; }

private:
    static constexpr std::size_t kMaxTexts = 20000;

    Text& entry(const std::string& s) {
        auto it = m_texts.find(s);
        if (it != m_texts.end()) return it->second;
        if (m_texts.size() >= kMaxTexts) m_texts.clear();
        Text t;
        t.text = QString::fromStdString(s);
        t.advance = m_fm.horizontalAdvance(t.text);
        return m_texts.emplace(s, std::move(t)).first->second;
    }
    QFontMetricsF m_fm;
    std::unordered_map<std::string, Text> m_texts;
};

}  // namespace

class TodaysPagePainter::Impl {
public:
    Impl(QPainter& p, int charactersPerLine, int linesPerPage, QSizeF paper)
        : m_p(p),
          m_cw((paper.width() - 2 * kMargin) / std::max(1, charactersPerLine)),
          m_lh((paper.height() - 2 * kMargin) / std::max(1, linesPerPage)),
          m_width(paper.width() - 2 * kMargin),
          m_bottom(paper.height() - kMargin),
          m_normal(fontFamily()),
          m_bold(fontFamily()),
          m_title(fontFamily()),
          m_fmNormal(m_normal),
          m_fmBold(m_bold),
          m_fmTitle(m_title) {
        // No ligatures: the text must read back (and be searched) letter by letter.
        for (QFont* f : {&m_normal, &m_bold, &m_title}) f->setStyleStrategy(QFont::PreferNoShaping);
        m_normal.setStretch(QFont::Condensed);
        m_bold.setStretch(QFont::Condensed);
        // Sizes are points of the page whatever the device's resolution: the
        // painter's scale alone decides how large the page appears.
        const int dpi = p.device() ? std::max(1, p.device()->logicalDpiY()) : 72;
        const double points = 72.0 / dpi;
        m_normal.setPointSizeF(7.5 * points);
        m_bold.setPointSizeF(7.5 * points);
        m_bold.setBold(true);
        m_title.setPointSizeF(12 * points);
        m_title.setBold(true);
        m_fmNormal = QFontMetricsF(m_normal, p.device());
        m_fmBold = QFontMetricsF(m_bold, p.device());
        m_fmTitle = QFontMetricsF(m_title, p.device());
        m_normalTexts = std::make_unique<MeasuredTexts>(m_fmNormal);
        m_boldTexts = std::make_unique<MeasuredTexts>(m_fmBold);
        m_titleTexts = std::make_unique<MeasuredTexts>(m_fmTitle);
    }

    void page(const std::vector<Line>& lines) {
        m_font = nullptr;
        // Black ink on no fill whatever the painter held: a widget's painter
        // starts with the palette's text colour.
        m_p.setPen(QPen(Qt::black, 0.5));
        m_p.setBrush(Qt::NoBrush);
        double y = kMargin;
        for (const Line& l : lines) {
            if (l.style == LineStyle::PageFooter) {
                footer(l);
                continue;
            }
            draw(l, y);
            y += l.height * m_lh;
        }
    }

private:
    // Draws s in r as a one-line text aligned by align and centred vertically,
    // cut with an ellipsis when wider than r: the baseline and the start are
    // computed from the cached measures and the text drawn at that point.
    void text(const std::string& s, const QRectF& r, Align align, const QFont& font, MeasuredTexts& texts) {
        auto [shown, advance] = texts.fitting(s, r.width());
        const QFontMetricsF& fm = texts.metrics();
        double x = r.left();
        if (align == Align::Right)
            x += r.width() - advance;
        else if (align == Align::Center)
            x += (r.width() - advance) / 2;
        const double baseline = r.top() + (r.height() - (fm.ascent() + fm.descent())) / 2 + fm.ascent();
        if (m_font != &font) {
            m_p.setFont(font);
            m_font = &font;
        }
        m_p.drawText(QPointF(x, baseline), *shown);
    }
    void text(const std::string& s, const QRectF& r, Align align, bool bold) {
        text(s, r, align, bold ? m_bold : m_normal, bold ? *m_boldTexts : *m_normalTexts);
    }
    QRectF cellRect(const Cell& c, double y) const { return QRectF(kMargin + c.x * m_cw, y, c.width * m_cw, m_lh); }
    void rule(double y, double x0, double x1, double width = 0.5) {
        m_p.setPen(QPen(Qt::black, width));
        m_p.drawLine(QPointF(x0, y), QPointF(x1, y));
    }
    // The gutters of a line: a thin rule down the middle of each.
    void gutters(const Line& l, double top, double bottom) {
        for (int g : l.gutters) {
            const double x = kMargin + (g + 0.5) * m_cw;
            m_p.setPen(QPen(Qt::gray, 0.4));
            m_p.drawLine(QPointF(x, top), QPointF(x, bottom));
        }
        if (!l.gutters.empty()) m_p.setPen(QPen(Qt::black));
    }
    // A memo line is wrapped to the line's characters; one that is still
    // wider than the line in the font (capitals, wide letters) is drawn
    // narrower rather than cut, so that no word of the text is lost.
    void memo(const Line& l, double y) {
        for (const Cell& c : l.cells) {
            if (c.text.empty()) continue;
            const QRectF r = cellRect(c, y);
            const double advance = m_normalTexts->get(c.text).advance;
            if (advance <= r.width()) {
                text(c.text, r, c.align, false);
                continue;
            }
            const double squeeze = r.width() / advance;
            m_p.save();
            m_p.translate(r.left(), 0);
            m_p.scale(squeeze, 1);
            m_font = nullptr;
            text(c.text, QRectF(0, r.top(), advance, r.height()), Align::Left, false);
            m_p.restore();
            m_font = nullptr;
        }
    }
    void cells(const Line& l, double y, bool bold) {
        for (const Cell& c : l.cells)
            if (!c.text.empty()) text(c.text, cellRect(c, y), c.align, bold);
    }
    void draw(const Line& l, double y) {
        switch (l.style) {
            case LineStyle::Title: {
                QRectF r(kMargin, y, m_width, m_lh * 1.5);
                const double rw = m_titleTexts->get(l.right).advance + 8;
                if (!l.cells.empty())
                    text(l.cells.front().text, QRectF(r.left(), r.top(), r.width() - rw, r.height()), Align::Left,
                         m_title, *m_titleTexts);
                text(l.right, r, Align::Right, m_title, *m_titleTexts);
                rule(y + m_lh * 1.75, kMargin, kMargin + m_width, 1.0);
                break;
            }
            case LineStyle::ColumnHeader: {
                // The spanning headings over their columns, each underlined.
                for (const Cell& c : l.spans) {
                    text(c.text, cellRect(c, y), Align::Center, true);
                    rule(y + m_lh * 0.95, kMargin + c.x * m_cw, kMargin + (c.x + c.width) * m_cw, 0.3);
                }
                const double top = l.spans.empty() ? y : y + m_lh;
                cells(l, top, true);
                rule(top + m_lh * 1.4, kMargin, kMargin + m_width);
                gutters(l, y, top + m_lh * 1.4);
                break;
            }
            case LineStyle::Totals:
                for (const Cell& c : l.cells)
                    if (c.column >= 0) rule(y + 0.5, kMargin + c.x * m_cw, kMargin + (c.x + c.width) * m_cw, 0.3);
                cells(l, y, true);
                gutters(l, y, y + m_lh);
                break;
            case LineStyle::Detail:
                cells(l, y, l.bold);
                gutters(l, y, y + m_lh);
                break;
            case LineStyle::Image: {
                QImage img;
                if (l.image && !l.image->bytes.empty() &&
                    img.loadFromData(reinterpret_cast<const uchar*>(l.image->bytes.data()),
                                     int(l.image->bytes.size()))) {
                    double h = l.height * m_lh - 4;
                    double w = img.height() ? h * img.width() / img.height() : h;
                    if (w > m_width) {
                        h *= m_width / w;
                        w = m_width;
                    }
                    m_p.drawImage(QRectF(kMargin + (l.cells.empty() ? 0 : l.cells.front().x * m_cw), y + 2, w, h), img);
                } else {
                    cells(l, y, false);
                }
                break;
            }
            case LineStyle::Blank: break;
            case LineStyle::Memo: memo(l, y); break;
            default: cells(l, y, l.bold); break;
        }
    }
    void footer(const Line& l) {
        double y = m_bottom - m_lh;
        rule(y - 2, kMargin, kMargin + m_width);
        QRectF r(kMargin, y, m_width, m_lh);
        if (!l.cells.empty()) text(l.cells.front().text, r, Align::Left, false);
        text(l.right, r, Align::Right, false);
    }

    QPainter& m_p;
    double m_cw, m_lh, m_width, m_bottom;
    QFont m_normal, m_bold, m_title;
    QFontMetricsF m_fmNormal, m_fmBold, m_fmTitle;
    std::unique_ptr<MeasuredTexts> m_normalTexts, m_boldTexts, m_titleTexts;
    const QFont* m_font = nullptr;  // the painter's font when set here
};

TodaysPagePainter::TodaysPagePainter(QPainter& painter, int charactersPerLine, int linesPerPage, QSizeF paper)
    : m_impl(std::make_unique<Impl>(painter, charactersPerLine, linesPerPage, paper)) {}

TodaysPagePainter::~TodaysPagePainter() = default;

void TodaysPagePainter::page(const std::vector<Line>& lines) { m_impl->page(lines); }

}  // namespace benchpdf
