#include "platform/gui/ReportPagePainter.h"

#include <algorithm>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>

#include "platform/gui/ReportPages.h"

namespace pla013gui {

using pla013::reports::Align;
using pla013::reports::Cell;
using pla013::reports::Line;
using pla013::reports::LineStyle;

namespace {

constexpr double kMargin = 28.0;  // points, as in the PDF output

QString fontFamily() {
    static const QString family = [] {
        QString name = QStringLiteral("DejaVu Sans");
        for (const char* file : {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                 "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"}) {
            if (!QFile::exists(QString::fromLatin1(file))) continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
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

// One page on one painter. Font sizes are points of the page: the device's
// resolution is taken out, so that the painter's scale alone decides how
// large the page appears.
class PageDrawer {
public:
    PageDrawer(QPainter& painter, const ReportPages& pages, QSizeF paper)
        : m_p(painter),
          m_cw((paper.width() - 2 * kMargin) / pages.charactersPerLine()),
          m_lh((paper.height() - 2 * kMargin) / pages.linesPerPage()),
          m_width(paper.width() - 2 * kMargin),
          m_bottom(paper.height() - kMargin),
          m_normal(font(7.5, false)),
          m_bold(font(7.5, true)),
          m_title(font(12, true)) {}

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
    QFont font(double points, bool bold) const {
        QFont f(fontFamily());
        const int dpi = m_p.device() ? m_p.device()->logicalDpiY() : 72;
        f.setPointSizeF(points * 72.0 / std::max(1, dpi));
        f.setBold(bold);
        return f;
    }
    QFontMetricsF metrics(const QFont& f) const { return QFontMetricsF(f, m_p.device()); }

    void text(const QString& s, const QRectF& r, Qt::Alignment a, bool bold) {
        const QFont& f = bold ? m_bold : m_normal;
        m_p.setFont(f);
        const QFontMetricsF fm = metrics(f);
        m_p.drawText(r, a, fm.horizontalAdvance(s) > r.width() ? fm.elidedText(s, Qt::ElideRight, r.width()) : s);
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
        m_p.setPen(Qt::black);
        switch (l.style) {
        case LineStyle::Title: {
            m_p.setFont(m_title);
            const QFontMetricsF fm = metrics(m_title);
            const QRectF r(kMargin, y, m_width, m_lh * 1.5);
            const QString right = QString::fromStdString(l.right);
            const double rw = fm.horizontalAdvance(right) + 8;
            const QString title = l.cells.empty() ? QString() : QString::fromStdString(l.cells.front().text);
            m_p.drawText(QRectF(r.left(), r.top(), r.width() - rw, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(title, Qt::ElideRight, r.width() - rw));
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
            m_p.setPen(Qt::black);
            cells(l, y, true);
            break;
        case LineStyle::Image: {
            QImage img;
            if (l.image && !l.image->bytes.empty() &&
                img.loadFromData(reinterpret_cast<const uchar*>(l.image->bytes.data()), int(l.image->bytes.size()))) {
                double h = l.height * m_lh - 4;
                double w = img.height() ? h * img.width() / img.height() : h;
                if (w > m_width) {
                    h *= m_width / w;
                    w = m_width;
                }
                const double x = kMargin + (l.cells.empty() ? 0 : l.cells.front().x * m_cw);
                m_p.drawImage(QRectF(x, y + 2, w, h), img);
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
        const double y = m_bottom - m_lh;
        rule(y - 2, kMargin, kMargin + m_width);
        const QRectF r(kMargin, y, m_width, m_lh);
        m_p.setPen(Qt::black);
        m_p.setFont(m_normal);
        if (!l.cells.empty())
            m_p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(l.cells.front().text));
        m_p.drawText(r, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(l.right));
    }

    QPainter& m_p;
    double m_cw, m_lh, m_width, m_bottom;
    QFont m_normal, m_bold, m_title;
};

}  // namespace

ReportPagePainter::ReportPagePainter(const ReportPages& pages) : m_pages(pages) {}

QSizeF ReportPagePainter::pageSize(const ReportPages& pages) {
    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Point);
    return pages.landscape() ? QSizeF(a4.height(), a4.width()) : a4;
}

void ReportPagePainter::paint(QPainter& painter, std::size_t index) const {
    if (index >= m_pages.pageCount()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    PageDrawer drawer(painter, m_pages, pageSize());
    drawer.page(m_pages.page(index));
    painter.restore();
}

bool ReportPagePainter::print(QPrinter& printer) const {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QSizeF paper = pageSize();
    // The printer may hold paper of another size or orientation than the
    // report's: the page is scaled to fit and centred.
    const QRectF target = printer.pageLayout().fullRectPixels(printer.resolution());
    const double scale = std::min(target.width() / paper.width(), target.height() / paper.height());
    const double dx = (target.width() - paper.width() * scale) / 2;
    const double dy = (target.height() - paper.height() * scale) / 2;
    // fullPage: the origin is the paper's corner; otherwise the printable area's.
    const QPointF origin = printer.fullPage() ? QPointF(0, 0) : -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft();

    std::size_t first = 0, last = m_pages.pageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::size_t(printer.fromPage() - 1);
        last = std::min(last, std::size_t(std::max(printer.toPage(), printer.fromPage())));
    }
    bool firstPrinted = true;
    for (std::size_t p = first; p < last; ++p) {
        if (!firstPrinted && !printer.newPage()) {
            painter.end();
            return false;
        }
        firstPrinted = false;
        painter.save();
        painter.translate(origin + QPointF(dx, dy));
        painter.scale(scale, scale);
        paint(painter, p);
        painter.restore();
    }
    return painter.end();
}

}  // namespace pla013gui
