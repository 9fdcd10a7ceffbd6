#include "platform/reports/qt/PagePainter.h"

#include <algorithm>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace pla013::reports {

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

Qt::Alignment qtAlign(Align a) {
    switch (a) {
        case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

class PagePainter::Impl {
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
          m_fmBold(m_bold) {
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
    }

    void page(const std::vector<Line>& lines) {
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
    void text(const QString& s, const QRectF& r, Qt::Alignment a, bool bold) {
        const QFontMetricsF& fm = bold ? m_fmBold : m_fmNormal;
        m_p.setFont(bold ? m_bold : m_normal);
        if (fm.horizontalAdvance(s) > r.width())
            m_p.drawText(r, a, fm.elidedText(s, Qt::ElideRight, r.width()));
        else
            m_p.drawText(r, a, s);
    }
    QRectF cellRect(const Cell& c, double y) const { return QRectF(kMargin + c.x * m_cw, y, c.width * m_cw, m_lh); }
    void rule(double y, double x0, double x1, double width = 0.5) {
        m_p.setPen(QPen(Qt::black, width));
        m_p.drawLine(QPointF(x0, y), QPointF(x1, y));
    }
    void cells(const Line& l, double y, bool bold) {
        for (const Cell& c : l.cells)
            if (!c.text.empty()) text(QString::fromStdString(c.text), cellRect(c, y), qtAlign(c.align), bold);
    }
    void draw(const Line& l, double y) {
        switch (l.style) {
            case LineStyle::Title: {
                m_p.setFont(m_title);
                QRectF r(kMargin, y, m_width, m_lh * 1.5);
                QString right = QString::fromStdString(l.right);
                double rw = QFontMetricsF(m_title, m_p.device()).horizontalAdvance(right) + 8;
                m_p.drawText(
                    QRectF(r.left(), r.top(), r.width() - rw, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetricsF(m_title, m_p.device())
                        .elidedText((l.cells.empty() ? QString() : QString::fromStdString(l.cells.front().text)),
                                    Qt::ElideRight, r.width() - rw));
                m_p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, right);
                rule(y + m_lh * 1.75, kMargin, kMargin + m_width, 1.0);
                break;
            }
            case LineStyle::ColumnHeader:
                cells(l, y, true);
                rule(y + m_lh * 1.4, kMargin, kMargin + m_width);
                break;
            case LineStyle::Totals:
                for (const Cell& c : l.cells)
                    if (c.column >= 0) rule(y + 0.5, kMargin + c.x * m_cw, kMargin + (c.x + c.width) * m_cw, 0.3);
                cells(l, y, true);
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
            default: cells(l, y, l.bold); break;
        }
    }
    void footer(const Line& l) {
        double y = m_bottom - m_lh;
        rule(y - 2, kMargin, kMargin + m_width);
        QRectF r(kMargin, y, m_width, m_lh);
        m_p.setFont(m_normal);
        if (!l.cells.empty())
            m_p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(l.cells.front().text));
        m_p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(l.right));
    }

    QPainter& m_p;
    double m_cw, m_lh, m_width, m_bottom;
    QFont m_normal, m_bold, m_title;
    QFontMetricsF m_fmNormal, m_fmBold;
};

PagePainter::PagePainter(QPainter& painter, int charactersPerLine, int linesPerPage, QSizeF paper)
    : m_impl(std::make_unique<Impl>(painter, charactersPerLine, linesPerPage, paper)) {}

PagePainter::~PagePainter() = default;

void PagePainter::page(const std::vector<Line>& lines) { m_impl->page(lines); }

}  // namespace pla013::reports
