#include "platform/reports/qt/PagePainter.h"

#include <algorithm>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include "platform/reports/PageGeometry.h"

namespace pla013::reports {

namespace {

// The family of the page fonts, registered from their files once (the
// condensed cuts; the title's bold is the family's own).
QString fontFamily() {
    static const QString family = [] {
        QString name = "DejaVu Sans";
        for (PageFont f : {PageFont::Normal, PageFont::Bold}) {
            const char* file = pageFontStyle(f).file;
            if (!QFile::exists(file)) continue;
            const int id = QFontDatabase::addApplicationFont(file);
            if (id >= 0 && !QFontDatabase::applicationFontFamilies(id).isEmpty())
                name = QFontDatabase::applicationFontFamilies(id).front();
        }
        return name;
    }();
    return family;
}

}  // namespace

class PagePainter::Impl {
public:
    Impl(QPainter& p, int charactersPerLine, int linesPerPage, QSizeF paper)
        : m_p(p), m_geometry(charactersPerLine, linesPerPage, paper.width(), paper.height()) {
        // Sizes are points of the page whatever the device's resolution: the
        // painter's scale alone decides how large the page appears. Each
        // font is its file's cut at the size the geometry gives; the
        // narrowing the geometry asks for is the painter's (drawText below).
        const int dpi = p.device() ? std::max(1, p.device()->logicalDpiY()) : 72;
        const double points = 72.0 / dpi;
        for (int f = 0; f < kPageFonts; ++f) {
            const PageFont face = PageFont(f);
            QFont& font = m_fonts[f];
            font.setFamily(fontFamily());
            // No ligatures: the text must read back (and be searched) letter by letter.
            font.setStyleStrategy(QFont::PreferNoShaping);
            // The condensed files are the family's semi-condensed width.
            font.setStretch(face == PageFont::Title ? QFont::Unstretched : QFont::SemiCondensed);
            font.setBold(face != PageFont::Normal);
            font.setPointSizeF(pageFontStyle(face).size * points);
            font.setKerning(false);
        }
    }

    void page(const std::vector<Line>& lines) {
        m_geometry.layout(lines, m_items);
        // Black ink on no fill whatever the painter held: a widget's painter
        // starts with the palette's text colour.
        m_p.setBrush(Qt::NoBrush);
        int font = -1;
        for (const PageItem& it : m_items) {
            switch (it.kind) {
                case PageItem::Kind::Text:
                    m_p.setPen(QPen(Qt::black, 0.5));
                    if (font != int(it.font)) {
                        font = int(it.font);
                        m_p.setFont(m_fonts[font]);
                    }
                    if (const double narrow = pageFontStyle(it.font).hscale * it.squeeze; narrow != 1) {
                        m_p.save();
                        m_p.translate(it.x, 0);
                        m_p.scale(narrow, 1);
                        m_p.drawText(QPointF(0, it.y), QString::fromStdString(it.text));
                        m_p.restore();
                    } else {
                        m_p.drawText(QPointF(it.x, it.y), QString::fromStdString(it.text));
                    }
                    break;
                case PageItem::Kind::Rule:
                    m_p.setPen(QPen(it.gray ? Qt::gray : Qt::black, it.width));
                    m_p.drawLine(QPointF(it.x, it.y), QPointF(it.x2, it.y2));
                    break;
                case PageItem::Kind::Image: {
                    QImage img;
                    if (img.loadFromData(reinterpret_cast<const uchar*>(it.image->bytes.data()),
                                         int(it.image->bytes.size())))
                        m_p.drawImage(QRectF(it.x, it.y, it.width, it.height), img);
                    break;
                }
            }
        }
    }

private:
    QPainter& m_p;
    PageGeometry m_geometry;
    QFont m_fonts[kPageFonts];
    std::vector<PageItem> m_items;
};

PagePainter::PagePainter(QPainter& painter, int charactersPerLine, int linesPerPage, QSizeF paper)
    : m_impl(std::make_unique<Impl>(painter, charactersPerLine, linesPerPage, paper)) {}

PagePainter::~PagePainter() = default;

void PagePainter::page(const std::vector<Line>& lines) { m_impl->page(lines); }

}  // namespace pla013::reports
