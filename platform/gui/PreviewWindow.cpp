#include "platform/gui/PreviewWindow.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"
#include "platform/gui/internal/ElidedLabel.h"
#include "platform/gui/internal/Icons.h"
#include "platform/gui/internal/ScreenFit.h"
#include "platform/gui/internal/SearchText.h"

namespace pla013::gui {

namespace {
constexpr int kGap = 16;  // grey border around and between the pages, pixels
constexpr int kThumbWidth = 96;
constexpr std::size_t kSearchedAtOnce = 200;  // pages a search reads before the window goes on
constexpr int kListedMatches = 2000;          // matches the pane lists (F3 goes on past them)
constexpr std::size_t kKeptThumbnails = 300;  // thumbnails kept made; more are dropped far from view          //
                                              // matches the pane lists (F3 goes on past them)
const int kPercents[] = {25, 50, 75, 100, 125, 150, 200, 300, 400};
constexpr int kFirstPercent = PreviewWindow::TwoPages + 1;  // the zoom box's first percentage

// A paint device of one page at 72 dpi (one pixel a point) that draws
// nothing and notes where each text goes: the search finds the text where
// the page painter put it.
class TextRecorder final : public QPaintDevice {
public:
    struct Run {
        QRectF box;
        QString text;
        std::vector<double> offsets;
    };

    explicit TextRecorder(QSizeF paper) : m_size(paper.toSize()), m_engine(*this) {}
    QPaintEngine* paintEngine() const override { return &m_engine; }
    std::vector<Run> runs;

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth: return m_size.width();
            case PdmHeight: return m_size.height();
            case PdmWidthMM: return int(m_size.width() * 25.4 / 72);
            case PdmHeightMM: return int(m_size.height() * 25.4 / 72);
            case PdmNumColors: return INT_MAX;
            case PdmDepth: return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY: return 72;
            case PdmDevicePixelRatio: return 1;
            case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    class Engine final : public QPaintEngine {
    public:
        explicit Engine(TextRecorder& owner) : QPaintEngine(QPaintEngine::AllFeatures), m_owner(owner) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        void drawPath(const QPainterPath&) override {}
        void drawLines(const QLineF*, int) override {}
        void drawRects(const QRectF*, int) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            const QString text = item.text();
            if (text.trimmed().isEmpty()) return;
            const QTransform t = painter()->combinedTransform();
            Run run;
            run.box = t.mapRect(QRectF(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent()));
            run.text = text;
            const QFontMetricsF fm(item.font(), &m_owner);
            const double drawn = fm.horizontalAdvance(text);
            const double ratio = drawn > 0 ? run.box.width() / drawn : 1.0;
            for (qsizetype i = 0; i <= text.size(); ++i)
                run.offsets.push_back(fm.horizontalAdvance(text.left(i)) * ratio);
            m_owner.runs.push_back(std::move(run));
        }
        Type type() const override { return QPaintEngine::User; }

    private:
        TextRecorder& m_owner;
    };

    QSize m_size;
    mutable Engine m_engine;
};

}  // namespace

// Every page on white paper with a shadow, one below the other (two side by
// side in the two-page view), at the window's scale; the matches of the
// search marked on them. The pages are painted from their place in the
// whole document, as far as it is scrolled: no widget as tall as the
// document is made (thousands of pages would pass the largest size a widget
// may have), and no page is kept as an image.
class PreviewWindow::Canvas final : public QAbstractScrollArea {
public:
    Canvas(PreviewWindow& owner, QWidget* parent) : QAbstractScrollArea(parent), m_owner(owner) {
        viewport()->setObjectName("page");
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        verticalScrollBar()->setSingleStep(40);
        horizontalScrollBar()->setSingleStep(40);
        setFocusPolicy(Qt::StrongFocus);
    }
    int columns() const { return m_owner.m_mode == TwoPages ? 2 : 1; }
    QSizeF paper() const { return ReportPagePainter::pageSize(m_owner.m_pages) * m_owner.m_scale; }
    // From the top of one row of pages to the next.
    qint64 rowStep() const { return qint64(std::ceil(paper().height())) + kGap; }
    // A page's place in the whole document.
    QRect documentArea(std::size_t page) const {
        const QSizeF p = paper();
        const std::size_t n = std::size_t(columns());
        const qint64 top = kGap + qint64(page / n) * rowStep();
        const int left = kGap + int(page % n) * (int(p.width()) + kGap);
        return QRect(left, int(std::min<qint64>(top, INT_MAX / 2)), int(p.width()), int(p.height()));
    }
    QSize documentSize() const {
        const std::size_t n = std::max<std::size_t>(1, m_owner.pageCount());
        const QRect last = documentArea(n - 1);
        const int width = kGap + columns() * (int(paper().width()) + kGap);
        return QSize(width, last.bottom() + 1 + kGap);
    }
    // The first page of the row at a height of the document.
    std::size_t pageAt(int y) const {
        const std::size_t row = std::size_t(std::max(0, y - kGap / 2) / std::max<qint64>(1, rowStep()));
        return row * std::size_t(columns());
    }
    // Where the document's origin lies on the view: scrolled, and centred
    // when narrower than the view.
    QPoint offset() const {
        const int spare = viewport()->width() - documentSize().width();
        return QPoint(spare > 0 ? spare / 2 : -horizontalScrollBar()->value(), -verticalScrollBar()->value());
    }
    QRect pageArea(std::size_t page) const { return documentArea(page).translated(offset()); }
    void updateSize() {
        const QSize doc = documentSize();
        const QSize view = viewport()->size();
        verticalScrollBar()->setPageStep(view.height());
        verticalScrollBar()->setRange(0, std::max(0, doc.height() - view.height()));
        horizontalScrollBar()->setPageStep(view.width());
        horizontalScrollBar()->setRange(0, std::max(0, doc.width() - view.width()));
        viewport()->update();
    }
    // Scrolls so that the document's point is in view with the margins.
    void ensureVisible(int x, int y, int xMargin, int yMargin) {
        const QSize view = viewport()->size();
        QScrollBar* v = verticalScrollBar();
        QScrollBar* h = horizontalScrollBar();
        if (y - yMargin < v->value())
            v->setValue(std::max(0, y - yMargin));
        else if (y + yMargin > v->value() + view.height())
            v->setValue(std::min(v->maximum(), y + yMargin - view.height()));
        if (x - xMargin < h->value())
            h->setValue(std::max(0, x - xMargin));
        else if (x + xMargin > h->value() + view.width())
            h->setValue(std::min(h->maximum(), x + xMargin - view.width()));
    }

protected:
    void scrollContentsBy(int, int) override { viewport()->update(); }
    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        updateSize();
    }
    void wheelEvent(QWheelEvent* event) override {
        // Ctrl+wheel zooms, a step a notch.
        if (event->modifiers() & Qt::ControlModifier) {
            m_wheel += event->angleDelta().y();
            while (std::abs(m_wheel) >= 120) {
                m_owner.zoomIn(m_wheel > 0);
                m_wheel += m_wheel > 0 ? -120 : 120;
            }
            event->accept();
            return;
        }
        QAbstractScrollArea::wheelEvent(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QPainter p(viewport());
        p.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
        const std::size_t n = m_owner.pageCount();
        if (n == 0) return;
        const ReportPagePainter painter(m_owner.m_pages);
        // The first page in view, found from the scroll position.
        const int top = std::max(0, verticalScrollBar()->value() + event->rect().top() - kGap);
        for (std::size_t i = std::min(pageAt(top), n - 1); i < n; ++i) {
            const QRect sheet = pageArea(i);
            if (sheet.top() > event->rect().bottom()) break;
            if (sheet.bottom() + 3 < event->rect().top()) continue;
            p.fillRect(sheet.translated(3, 3), QColor(0x40, 0x40, 0x40));
            p.fillRect(sheet, Qt::white);
            if (i >= m_owner.m_pages.pageCount()) {
                // Still being laid out.
                p.setPen(QColor(0x80, 0x80, 0x80));
                p.drawText(sheet, Qt::AlignCenter, QStringLiteral("Preparando a página %1...").arg(i + 1));
                continue;
            }
            p.save();
            p.translate(sheet.topLeft());
            p.scale(m_owner.m_scale, m_owner.m_scale);
            painter.paint(p, i);
            // The matches: all in yellow, the current one in orange.
            const std::vector<QRectF>& marks = m_owner.marksOn(i);
            const int current = m_owner.m_match >= 0 && m_owner.m_matches[std::size_t(m_owner.m_match)].page == i
                                    ? m_owner.m_matches[std::size_t(m_owner.m_match)].ordinal
                                    : -1;
            p.setPen(Qt::NoPen);
            for (std::size_t m = 0; m < marks.size(); ++m) {
                p.setBrush(int(m) == current ? QColor(255, 140, 0, 130) : QColor(255, 225, 0, 110));
                p.drawRect(marks[m]);
            }
            p.restore();
        }
    }

private:
    PreviewWindow& m_owner;
    int m_wheel = 0;
};

PreviewWindow::PreviewWindow(const ReportPages& pages, Actions actions, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_pages(pages),
      m_actions(std::move(actions)),
      m_canvas(new Canvas(*this, this)),
      m_pageList(new QListWidget(this)),
      m_thumbnails(new QTimer(this)),
      m_arrivals(new QTimer(this)),
      m_finder(new QTimer(this)),
      m_zoom(new QComboBox(this)),
      m_pageNumber(new QSpinBox(this)),
      m_pageLabel(new QLabel(this)),
      m_first(new QToolButton(this)),
      m_previous(new QToolButton(this)),
      m_next(new QToolButton(this)),
      m_last(new QToolButton(this)),
      m_thumbsButton(new QToolButton(this)),
      m_find(new QLineEdit(this)),
      m_findLabel(new QLabel(this)),
      m_hits(new QListWidget(this)),
      m_saved(new internal::ElidedLabel(this, 2000)) {
    setObjectName("previewWindow");
    setWindowTitle(QStringLiteral("Visualização - %1 - %2")
                       .arg(QString::fromStdString(pages.reportId()), QString::fromStdString(pages.title())));
    setModal(true);

    auto button = [this](const QString& text, const char* name, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    QToolButton* print = button(QStringLiteral("&Imprimir..."), "print", QStringLiteral("Imprimir (Ctrl+P)"));
    QToolButton* save = button(QStringLiteral("&Salvar como..."), "saveAs", QStringLiteral("Salvar como (Ctrl+S)"));
    QToolButton* close = button(QStringLiteral("&Fechar"), "close", QStringLiteral("Fechar (Esc)"));
    const std::tuple<QToolButton*, const char*, internal::PageIcon, QString> pageButtons[] = {
        {m_first, "firstPage", internal::PageIcon::First, QStringLiteral("Primeira página (Ctrl+Home)")},
        {m_previous, "previousPage", internal::PageIcon::Previous, QStringLiteral("Página anterior (PgUp)")},
        {m_next, "nextPage", internal::PageIcon::Next, QStringLiteral("Próxima página (PgDn)")},
        {m_last, "lastPage", internal::PageIcon::Last, QStringLiteral("Última página (Ctrl+End)")},
    };
    for (const auto& [b, name, icon, tip] : pageButtons) {
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(internal::pageIcon(icon));
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::TabFocus);
    }
    m_thumbsButton->setObjectName("thumbnails");
    m_thumbsButton->setIcon(internal::thumbnailsIcon());
    m_thumbsButton->setCheckable(true);
    m_thumbsButton->setChecked(true);
    m_thumbsButton->setAutoRaise(true);
    m_thumbsButton->setFocusPolicy(Qt::TabFocus);
    m_thumbsButton->setToolTip(QStringLiteral("Mostrar ou ocultar as miniaturas (Ctrl+T)"));

    m_pageNumber->setObjectName("pageNumber");
    m_pageNumber->setRange(1, int(std::max<std::size_t>(1, pages.expectedPages())));
    m_pageLabel->setObjectName("pageLabel");
    m_zoom->setObjectName("zoom");
    m_zoom->setEditable(true);
    m_zoom->setInsertPolicy(QComboBox::NoInsert);
    m_zoom->setToolTip(QStringLiteral("Zoom (Ctrl++ / Ctrl+-); digite uma porcentagem e Enter"));
    m_zoom->addItem(QStringLiteral("Ajustar à largura"));
    m_zoom->addItem(QStringLiteral("Página inteira"));
    m_zoom->addItem(QStringLiteral("Duas páginas"));
    for (int percent : kPercents) m_zoom->addItem(QStringLiteral("%1%").arg(percent));
    // As wide as its longest entry and the arrow: an editable box would
    // show only the end of it.
    m_zoom->setMinimumWidth(m_zoom->fontMetrics().horizontalAdvance(QStringLiteral("Ajustar à largura")) +
                            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 28);
    m_find->setObjectName("find");
    m_find->setPlaceholderText(QStringLiteral("Localizar"));
    m_find->setToolTip(QStringLiteral("Localizar no relatório (Ctrl+F); Enter ou F3 vai à próxima ocorrência"));
    m_find->setClearButtonEnabled(true);
    m_find->setMinimumWidth(110);
    m_find->installEventFilter(this);
    m_findLabel->setObjectName("findLabel");
    m_findLabel->setMinimumWidth(m_findLabel->fontMetrics().horizontalAdvance(QStringLiteral("999 de 9999")) + 4);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(4);
    bar->addWidget(print);
    bar->addWidget(save);
    bar->addSpacing(8);
    bar->addWidget(m_thumbsButton);
    bar->addWidget(m_first);
    bar->addWidget(m_previous);
    bar->addWidget(m_pageNumber);
    bar->addWidget(m_next);
    bar->addWidget(m_last);
    bar->addWidget(m_pageLabel);
    bar->addSpacing(8);
    bar->addWidget(m_zoom);
    bar->addSpacing(8);
    bar->addWidget(m_find, 1);
    bar->addWidget(m_findLabel);
    bar->addWidget(close);

    m_canvas->setObjectName("pages");
    // Fixed, so that fitting the width does not make the bar come and go.
    m_canvas->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_canvas->viewport()->installEventFilter(this);

    // The page list: a thumbnail and the number of every page, as wide as
    // they are (no sideways scrolling).
    m_pageList->setObjectName("pageList");
    m_pageList->setViewMode(QListView::ListMode);
    m_pageList->setUniformItemSizes(true);
    m_pageList->setSpacing(4);
    m_pageList->setFocusPolicy(Qt::StrongFocus);
    m_pageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        const QSizeF paper = ReportPagePainter::pageSize(pages);
        const QSize thumb(kThumbWidth, int(kThumbWidth * paper.height() / paper.width()));
        QPixmap blank(thumb);
        blank.fill(Qt::white);
        for (std::size_t i = 0; i < pages.expectedPages(); ++i) {
            auto* item = new QListWidgetItem(QIcon(blank), QString::number(i + 1), m_pageList);
            item->setTextAlignment(Qt::AlignCenter);
        }
        m_pageList->setIconSize(thumb);
        m_pageList->setFixedWidth(kThumbWidth + 4 * 4 + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                                  2 * m_pageList->frameWidth() + 8);
    }
    m_thumbnails->setInterval(0);
    connect(m_thumbnails, &QTimer::timeout, this, [this] { makeThumbnails(); });
    connect(m_pageList->verticalScrollBar(), &QScrollBar::valueChanged, m_thumbnails, qOverload<>(&QTimer::start));

    // The matches of a search, each with the text around it.
    m_hits->setObjectName("findResults");
    m_hits->setFixedWidth(280);
    m_hits->setTextElideMode(Qt::ElideRight);
    m_hits->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_hits->setUniformItemSizes(true);
    m_hits->installEventFilter(this);
    m_hits->hide();

    auto* body = new QHBoxLayout;
    body->addWidget(m_pageList);
    body->addWidget(m_canvas, 1);
    body->addWidget(m_hits);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 4);
    layout->addLayout(bar);
    layout->addLayout(body, 1);
    m_saved->setObjectName("savedLabel");
    layout->addWidget(m_saved);
    // What the widgets would like never makes the window wider than its
    // screen: what does not fit is cut.
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    connect(print, &QToolButton::clicked, this, [this] {
        if (m_actions.print) saved(m_actions.print());
    });
    connect(save, &QToolButton::clicked, this, [this] {
        if (m_actions.saveAs) saved(m_actions.saveAs());
    });
    connect(close, &QToolButton::clicked, this, &QDialog::accept);
    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(m_page > 0 ? m_page - 1 : 0); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(pageCount() ? pageCount() - 1 : 0); });
    connect(m_thumbsButton, &QToolButton::toggled, this, [this](bool shown) {
        m_pageList->setVisible(shown);
        if (shown) m_thumbnails->start();
    });
    connect(m_pageNumber, &QSpinBox::valueChanged, this, [this](int v) { showPage(std::size_t(std::max(1, v) - 1)); });
    connect(m_zoom, &QComboBox::activated, this, [this](int index) { setZoomIndex(index); });
    connect(m_zoom->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        // A percentage typed ("130", "130%"); an entry's own text chooses it.
        const QString typed = m_zoom->currentText().trimmed();
        const int entry = m_zoom->findText(typed, Qt::MatchFixedString);
        if (entry >= 0) return setZoomIndex(entry);
        QString digits = typed;
        digits.remove(QLatin1Char('%'));
        bool ok = false;
        const int percent = digits.trimmed().toInt(&ok);
        if (ok && percent > 0)
            setZoomPercent(percent);
        else
            updateZoomText();
    });
    connect(m_pageList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && std::size_t(row) != m_page) showPage(std::size_t(row));
    });
    connect(m_canvas->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { followScroll(); });
    connect(m_find, &QLineEdit::returnPressed, this, [this] {
        const bool back = QGuiApplication::keyboardModifiers() & Qt::ShiftModifier;
        if (m_matches.empty() || m_find->isModified()) {
            m_find->setModified(false);
            find(m_find->text());
            if (back) findNext(false);
        } else {
            findNext(!back);
        }
    });
    connect(m_find, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (t.isEmpty()) find(QString());
    });
    // A match chosen in the pane (click, arrows, Enter) is shown on its page.
    connect(m_hits, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row >= matchCount() || row == m_match) return;
        m_match = row;
        showMatch();
    });
    connect(m_hits, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const int row = m_hits->row(item);
        if (row < 0 || row >= matchCount()) return;
        m_match = row;
        showMatch();
        m_canvas->setFocus(Qt::OtherFocusReason);
    });

    auto shortcut = [this](const QKeySequence& keys, const std::function<void()>& what) {
        auto* s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, what);
    };
    shortcut(QKeySequence(Qt::Key_PageDown), [this] { showPage(m_page + std::size_t(m_canvas->columns())); });
    shortcut(QKeySequence(Qt::Key_PageUp), [this] {
        const std::size_t back = std::size_t(m_canvas->columns());
        showPage(m_page > back ? m_page - back : 0);
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(0); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { showPage(pageCount() ? pageCount() - 1 : 0); });
    // Ctrl++ whether or not the plus takes Shift on the keyboard.
    for (const QKeySequence& in : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)})
        shortcut(in, [this] { zoomIn(true); });
    shortcut(QKeySequence(QKeySequence::ZoomOut), [this] { zoomIn(false); });
    shortcut(QKeySequence::Print, [print] { print->click(); });
    shortcut(QKeySequence::Save, [save] { save->click(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_T), [this] { m_thumbsButton->toggle(); });
    shortcut(QKeySequence::Find, [this] {
        m_find->setFocus(Qt::ShortcutFocusReason);
        m_find->selectAll();
    });
    shortcut(QKeySequence(Qt::Key_F3), [this] { m_matches.empty() ? void(find(m_find->text())) : void(findNext()); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findNext(false); });

    // A size that uses the screen: nearly all of its height, and the width
    // of a page at its real size when there is room for it; never more than
    // the screen.
    const QSize room = internal::roomFor(*this);
    const QSizeF paper = ReportPagePainter::pageSize(pages);
    const int wanted = int(paper.width() * logicalDpiX() / 72.0) + m_pageList->width() + 2 * kGap + 60;
    resize(std::min(std::max(wanted, 900), room.width()), room.height());
    updateScale();
    updateZoomText();
    updatePageControls();
    if (pages.pageCount() > 0) m_thumbnails->start();
    connect(m_finder, &QTimer::timeout, this, [this] { searchSome(0); });
    // Pages still being laid out are looked for now and then.
    connect(m_arrivals, &QTimer::timeout, this, [this] { takeArrivals(); });
    if (!pages.finished()) {
        // Both run on the whole report (save-as runs it again from the form,
        // which the run still reads).
        print->setEnabled(false);
        save->setEnabled(false);
        m_arrivals->start(100);
    }
    m_canvas->setFocus(Qt::OtherFocusReason);
}

PreviewWindow::~PreviewWindow() = default;

std::size_t PreviewWindow::pageCount() const { return m_pages.expectedPages(); }

bool PreviewWindow::complete() const { return m_pages.finished(); }

QString PreviewWindow::savedText() const { return m_saved->fullText(); }

void PreviewWindow::saved(const std::optional<std::string>& file) {
    if (!file) return;
    const QString path = QString::fromStdString(*file);
    m_saved->setFullText(QStringLiteral("Salvo em %1").arg(path));
    m_saved->setToolTip(path);
}

void PreviewWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_thumbnails->start();
    // Once the window manager has framed it.
    QTimer::singleShot(0, this, [this] { internal::keepOnScreen(*this); });
}

void PreviewWindow::takeArrivals() {
    const std::size_t ready = m_pages.pageCount();
    if (ready != m_ready) {
        m_ready = ready;
        m_canvas->viewport()->update();
        m_thumbnails->start();
    }
    if (m_pages.finished()) {
        // Done, or stopped short: the window keeps what was made.
        m_arrivals->stop();
        while (std::size_t(m_pageList->count()) > pageCount()) delete m_pageList->takeItem(m_pageList->count() - 1);
        m_pageNumber->setRange(1, int(std::max<std::size_t>(1, pageCount())));
        m_canvas->updateSize();
        for (const char* name : {"print", "saveAs"})
            if (auto* b = findChild<QToolButton*>(QString::fromLatin1(name))) b->setEnabled(true);
        if (m_page >= pageCount() && pageCount() > 0) showPage(pageCount() - 1);
    }
    updatePageControls();
}

QWidget* PreviewWindow::pageCanvas() const { return m_canvas->viewport(); }

QRect PreviewWindow::pageArea(std::size_t page) const { return m_canvas->pageArea(page); }

void PreviewWindow::showPage(std::size_t page) {
    if (pageCount() == 0) return;
    page = std::min(page, pageCount() - 1);
    m_page = page;
    {
        // Scrolled there: the page in view is the one asked for, even the
        // last, whose top the view may not reach.
        m_scrolling = true;
        m_canvas->verticalScrollBar()->setValue(m_canvas->documentArea(page).top() - kGap / 2);
        m_scrolling = false;
    }
    updatePageControls();
}

void PreviewWindow::followScroll() {
    if (m_scrolling || pageCount() == 0) return;
    const QScrollBar* bar = m_canvas->verticalScrollBar();
    // The page across the upper third of the view; the last at the end.
    std::size_t page = pageCount() - 1;
    if (bar->value() < bar->maximum())
        page = std::min(pageCount() - 1, m_canvas->pageAt(bar->value() + m_canvas->viewport()->height() / 3));
    if (page != m_page) {
        m_page = page;
        updatePageControls();
    }
}

void PreviewWindow::setZoomIndex(int index) {
    index = std::clamp(index, 0, m_zoom->count() - 1);
    if (index < kFirstPercent) {
        m_mode = index;
    } else {
        m_mode = -1;
        m_percent = kPercents[index - kFirstPercent];
    }
    updateScale();
    updateZoomText();
}

int PreviewWindow::zoomPercent() const { return int(std::lround(m_scale * 72.0 / logicalDpiX() * 100)); }

void PreviewWindow::setZoomPercent(int percent) {
    m_mode = -1;
    m_percent = std::clamp(percent, 10, 800);
    updateScale();
    updateZoomText();
}

void PreviewWindow::zoomIn(bool in) {
    // The next step from what is shown, whatever chose it (a fitted zoom too).
    const int now = zoomPercent();
    int to = in ? kPercents[std::size(kPercents) - 1] : kPercents[0];
    if (in) {
        for (int p : kPercents)
            if (p > now + 1) {
                to = p;
                break;
            }
    } else {
        for (int p : kPercents)
            if (p < now - 1) to = p;
    }
    setZoomPercent(to);
}

QString PreviewWindow::zoomText() const { return m_zoom->currentText(); }

void PreviewWindow::updateZoomText() {
    const QSignalBlocker block(m_zoom);
    if (m_mode >= 0) {
        m_zoom->setCurrentIndex(m_mode);
    } else {
        const int entry = m_zoom->findText(QStringLiteral("%1%").arg(m_percent));
        if (entry >= 0) m_zoom->setCurrentIndex(entry);
        m_zoom->setEditText(QStringLiteral("%1%").arg(m_percent));
    }
    m_zoom->lineEdit()->setCursorPosition(0);
    m_zoom->setToolTip(
        QStringLiteral("Zoom: %1% (Ctrl++ / Ctrl+-); digite uma porcentagem e Enter").arg(zoomPercent()));
}

QString PreviewWindow::pageText() const {
    return QStringLiteral("Página %1 de %2").arg(pageCount() ? m_page + 1 : 0).arg(pageCount());
}

void PreviewWindow::updatePageControls() {
    m_pageLabel->setText(m_pages.finished()
                             ? pageText()
                             : pageText() + QStringLiteral(" (preparando: %1 prontas)").arg(m_pages.pageCount()));
    {
        const QSignalBlocker block(m_pageNumber);
        m_pageNumber->setValue(int(m_page) + 1);
    }
    {
        const QSignalBlocker block(m_pageList);
        if (m_page < std::size_t(m_pageList->count())) {
            m_pageList->setCurrentRow(int(m_page));
            m_pageList->scrollToItem(m_pageList->item(int(m_page)));
        }
    }
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < pageCount());
    m_last->setEnabled(m_page + 1 < pageCount());
}

void PreviewWindow::updateScale() {
    const QSizeF paper = ReportPagePainter::pageSize(m_pages);
    const QSize room = m_canvas->viewport()->size() - QSize(2 * kGap, 2 * kGap);
    if (m_mode == FitWidth) {
        m_scale = std::max(0.1, room.width() / paper.width());
    } else if (m_mode == FitPage) {
        m_scale = std::max(0.1, std::min(room.width() / paper.width(), room.height() / paper.height()));
    } else if (m_mode == TwoPages) {
        m_scale = std::max(0.1, std::min((room.width() - kGap) / (2 * paper.width()), room.height() / paper.height()));
    } else {
        m_scale = m_percent / 100.0 * logicalDpiX() / 72.0;
    }
    m_canvas->updateSize();
    // The page in view stays in view, and the match shown on it (the pane of
    // matches coming in narrows a fitted page).
    if (pageCount() > 0) {
        m_scrolling = true;
        m_canvas->verticalScrollBar()->setValue(m_canvas->documentArea(m_page).top() - kGap / 2);
        m_scrolling = false;
        if (m_match >= 0 && m_matches[std::size_t(m_match)].page == m_page) showMatch();
    }
}

void PreviewWindow::makeThumbnails() {
    // Those in view of the list, a few at a time, so that the window answers
    // while they are made; those far from view are dropped again, so that a
    // long report keeps a few hundred images, not one a page.
    const int count = std::min(m_pageList->count(), int(m_pages.pageCount()));
    if (count == 0 || !m_pageList->isVisible()) return m_thumbnails->stop();
    const QRect view = m_pageList->viewport()->rect();
    QModelIndex top = m_pageList->indexAt(view.topLeft() + QPoint(4, 4));
    QModelIndex bottom = m_pageList->indexAt(view.bottomLeft() + QPoint(4, -4));
    const int first = std::max(0, (top.isValid() ? top.row() : int(m_page)) - 4);
    const int last = std::min(count - 1, (bottom.isValid() ? bottom.row() : first + 12) + 4);
    const QSizeF paper = ReportPagePainter::pageSize(m_pages);
    const ReportPagePainter painter(m_pages);
    int made = 0;
    for (int row = first; row <= last && made < 4; ++row) {
        if (m_thumbnailRows.count(row)) continue;
        const double s = 2.0 * kThumbWidth / paper.width();
        QImage image(QSize(2 * kThumbWidth, int(paper.height() * s)), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            p.scale(s, s);
            painter.paint(p, std::size_t(row));
            p.resetTransform();
            p.setPen(QColor(0x90, 0x90, 0x90));
            p.drawRect(image.rect().adjusted(0, 0, -1, -1));
        }
        if (QListWidgetItem* item = m_pageList->item(row))
            item->setIcon(QIcon(QPixmap::fromImage(
                image.scaled(m_pageList->iconSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation))));
        m_thumbnailRows.insert(row);
        ++made;
    }
    if (m_thumbnailRows.size() > kKeptThumbnails) {
        QPixmap blank(m_pageList->iconSize());
        blank.fill(Qt::white);
        const QIcon plain(blank);
        for (auto it = m_thumbnailRows.begin(); it != m_thumbnailRows.end();) {
            if (*it >= first - 50 && *it <= last + 50) {
                ++it;
                continue;
            }
            if (QListWidgetItem* item = m_pageList->item(*it)) item->setIcon(plain);
            it = m_thumbnailRows.erase(it);
        }
    }
    if (made == 0) m_thumbnails->stop();
}

namespace {
// The texts of a line, in the order the page painter draws them.
template <class Each>
void lineTexts(const pla013::reports::Line& l, Each each) {
    using pla013::reports::LineStyle;
    if (l.style == LineStyle::Blank) return;
    if (l.style == LineStyle::Title || l.style == LineStyle::PageFooter) {
        if (!l.cells.empty()) each(l.cells.front().text);
        each(l.right);
        return;
    }
    for (const auto& c : l.spans) each(c.text);
    for (const auto& c : l.cells) each(c.text);
}
}  // namespace

const std::vector<QString>& PreviewWindow::lineKeys(std::size_t page) {
    std::vector<QString>& keys = m_keys.keys;
    if (m_keys.page == page) return keys;
    keys.clear();
    m_keys.page = page;
    const ReportPages::Page lines = m_pages.page(page);
    // Each text folded apart and the texts kept apart, so that no match
    // runs from one into the next (the page draws them apart).
    for (const auto& line : *lines) {
        QString key;
        lineTexts(line, [&key](const std::string& text) {
            if (text.empty()) return;
            if (!key.isEmpty()) key += QChar(0x1f);
            key += internal::searchKey(QString::fromStdString(text));
        });
        keys.push_back(std::move(key));
    }
    return keys;
}

QString PreviewWindow::lineText(std::size_t page, std::size_t line) const {
    const ReportPages::Page lines = m_pages.page(page);
    if (line >= lines->size()) return {};
    QString out;
    lineTexts((*lines)[line], [&out](const std::string& text) {
        if (text.empty()) return;
        if (!out.isEmpty()) out += QLatin1Char(' ');
        out += QString::fromStdString(text);
    });
    return out;
}

const std::vector<QRectF>& PreviewWindow::marksOn(std::size_t page) const {
    static const std::vector<QRectF> none;
    if (m_search.needle.isEmpty() || !m_pageMatches.count(page) || page >= m_pages.pageCount()) return none;
    auto it = m_marks.find(page);
    if (it != m_marks.end()) return it->second;
    // Where the painter puts the page's texts, found for this page alone.
    TextRecorder recorder(ReportPagePainter::pageSize(m_pages));
    {
        QPainter p(&recorder);
        ReportPagePainter(m_pages).paint(p, page);
    }
    std::vector<QRectF> marks;
    const QString& needle = m_search.needle;
    for (const auto& run : recorder.runs) {
        const QString key = internal::searchKey(run.text);
        // Folding keeps one letter for one letter in our texts; where it
        // does not, the whole piece is marked.
        const bool aligned = key.size() == run.text.size();
        for (qsizetype at = key.indexOf(needle); at >= 0; at = key.indexOf(needle, at + 1)) {
            QRectF box = run.box;
            if (aligned) {
                const double x0 = run.offsets[std::size_t(at)];
                const double x1 = run.offsets[std::size_t(at + needle.size())];
                box = QRectF(run.box.left() + x0, run.box.top(), x1 - x0, run.box.height());
            }
            marks.push_back(box.adjusted(-0.5, -0.5, 0.5, 0.5));
            if (!aligned) break;
        }
    }
    return m_marks.emplace(page, std::move(marks)).first->second;
}

int PreviewWindow::find(const QString& text) {
    m_finder->stop();
    m_matches.clear();
    m_pageMatches.clear();
    m_marks.clear();
    m_match = -1;
    m_search = {};
    m_hits->clear();
    m_search.needle = internal::searchKey(text.trimmed());
    if (m_search.needle.isEmpty()) {
        m_findLabel->clear();
        m_hits->hide();
        m_canvas->viewport()->update();
        return 0;
    }
    // From the page in view on, round to the one before it: the first match
    // found is the one to show, and a long report is searched a slice at a
    // time while the window goes on.
    m_search.pages = m_pages.pageCount();
    m_search.first = std::min(m_page, m_search.pages ? m_search.pages - 1 : 0);
    searchSome(kSearchedAtOnce);
    if (m_search.done < m_search.pages) m_finder->start(0);
    return matchCount();
}

void PreviewWindow::searchSome(std::size_t atLeast) {
    QElapsedTimer clock;
    clock.start();
    const QString& needle = m_search.needle;
    const std::size_t before = m_matches.size();
    for (std::size_t searched = 0; m_search.done < m_search.pages && (searched < atLeast || clock.elapsed() < 40);
         ++searched, ++m_search.done) {
        const std::size_t page = (m_search.first + m_search.done) % m_search.pages;
        const std::vector<QString>& keys = lineKeys(page);
        int ordinal = 0;
        for (std::size_t line = 0; line < keys.size(); ++line)
            for (qsizetype at = keys[line].indexOf(needle); at >= 0; at = keys[line].indexOf(needle, at + 1))
                m_matches.push_back(Match{page, ordinal++, line, int(at)});
        if (ordinal > 0) m_pageMatches[page] = ordinal;
    }
    const bool finished = m_search.done >= m_search.pages;
    if (finished) m_finder->stop();
    listMatches(before);
    if (m_match < 0 && !m_matches.empty()) {
        m_match = 0;
        showMatch();
    } else if (m_match >= 0) {
        showMatch(false);
    } else {
        m_findLabel->setText(finished ? QStringLiteral("Não encontrado")
                                      : QStringLiteral("Procurando... %1%").arg(100 * m_search.done / m_search.pages));
    }
    m_canvas->viewport()->update();
}

void PreviewWindow::listMatches(std::size_t from) {
    if (from >= m_matches.size() || int(from) >= kListedMatches) return;
    const QSignalBlocker block(m_hits);
    m_hits->setUpdatesEnabled(false);
    for (std::size_t i = from; i < m_matches.size() && int(i) < kListedMatches; ++i) {
        const Match& m = m_matches[i];
        const QString line = lineText(m.page, m.line);
        // The text around the match, when the line's folded text keeps its
        // letters in place (it does for our texts).
        const std::vector<QString>& keys = lineKeys(m.page);
        const QString key = m.line < keys.size() ? keys[m.line] : QString();
        const int at = key.size() == line.size() ? m.at : 0;
        const int start = std::max(0, at - 24);
        QString context = line.mid(start, 90).simplified();
        if (start > 0) context.prepend(QChar(0x2026));
        auto* item = new QListWidgetItem(QStringLiteral("p. %1: %2").arg(m.page + 1).arg(context), m_hits);
        item->setToolTip(QStringLiteral("Página %1\n%2").arg(m.page + 1).arg(line.simplified()));
    }
    m_hits->setUpdatesEnabled(true);
    m_hits->show();
}

bool PreviewWindow::findNext(bool forward) {
    if (m_matches.empty()) return false;
    const int n = matchCount();
    m_match = ((m_match + (forward ? 1 : -1)) % n + n) % n;
    showMatch();
    return true;
}

void PreviewWindow::showMatch(bool scroll) {
    const Match& match = m_matches[std::size_t(m_match)];
    const bool searching = m_search.done < m_search.pages;
    m_findLabel->setText(QStringLiteral("%1 de %2%3").arg(m_match + 1).arg(matchCount()).arg(searching ? "..." : ""));
    if (m_match < m_hits->count()) {
        const QSignalBlocker block(m_hits);
        m_hits->setCurrentRow(m_match);
        m_hits->scrollToItem(m_hits->currentItem());
    }
    // Marked at once, wherever the view stands.
    m_canvas->viewport()->update();
    if (!scroll) return;
    const QRect area = m_canvas->documentArea(match.page);
    const std::vector<QRectF>& marks = marksOn(match.page);
    const QRectF paper =
        match.ordinal < int(marks.size()) ? marks[std::size_t(match.ordinal)] : QRectF(0, 0, area.width() / m_scale, 1);
    const QRectF box(area.left() + paper.left() * m_scale, area.top() + paper.top() * m_scale, paper.width() * m_scale,
                     paper.height() * m_scale);
    m_scrolling = true;
    m_canvas->ensureVisible(int(box.center().x()), int(box.center().y()), int(box.width() / 2) + 40,
                            m_canvas->viewport()->height() / 3);
    m_scrolling = false;
    m_page = match.page;
    updatePageControls();
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    // Fitted zooms follow the window's size.
    if (watched == m_canvas->viewport() && event->type() == QEvent::Resize && m_mode >= 0) updateScale();
    // Esc in the find box or its pane goes back to the pages; only there
    // does it close the window.
    if ((watched == m_find || watched == m_hits) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        m_canvas->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace pla013::gui
