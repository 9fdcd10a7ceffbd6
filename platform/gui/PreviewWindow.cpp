#include "platform/gui/PreviewWindow.h"

#include <algorithm>
#include <climits>
#include <cmath>

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
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"
#include "platform/gui/internal/SearchText.h"

namespace pla013::gui {

namespace {
constexpr int kGap = 16;  // grey border around and between the pages, pixels
constexpr int kThumbWidth = 96;
constexpr std::size_t kSearchedAtOnce = 50;  // pages a search reads before the window goes on
const int kPercents[] = {50, 75, 100, 150, 200};

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

// Every page on white paper with a shadow, one below the other, at the
// window's scale; the matches of the search marked on them. The pages are
// painted from their place in the whole document, as far as it is scrolled:
// no widget as tall as the document is made (thousands of pages would pass
// the largest size a widget may have).
class PreviewWindow::Canvas final : public QAbstractScrollArea {
public:
    Canvas(const PreviewWindow& owner, QWidget* parent) : QAbstractScrollArea(parent), m_owner(owner) {
        viewport()->setObjectName("page");
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        verticalScrollBar()->setSingleStep(40);
        horizontalScrollBar()->setSingleStep(40);
    }
    QSizeF paper() const { return ReportPagePainter::pageSize(m_owner.m_pages) * m_owner.m_scale; }
    // A page's place in the whole document.
    QRect documentArea(std::size_t page) const {
        const QSizeF p = paper();
        const qint64 step = qint64(std::ceil(p.height())) + kGap;
        const qint64 top = kGap + qint64(page) * step;
        return QRect(kGap, int(std::min<qint64>(top, INT_MAX / 2)), int(p.width()), int(p.height()));
    }
    QSize documentSize() const {
        const std::size_t n = std::max<std::size_t>(1, m_owner.pageCount());
        const QRect last = documentArea(n - 1);
        return QSize(last.right() + 1 + kGap, last.bottom() + 1 + kGap);
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
    void paintEvent(QPaintEvent* event) override {
        QPainter p(viewport());
        p.fillRect(event->rect(), QColor(0x80, 0x80, 0x80));
        const std::size_t n = m_owner.pageCount();
        if (n == 0) return;
        const ReportPagePainter painter(m_owner.m_pages);
        // The first page in view, found from the scroll position.
        const int step = std::max(1, documentArea(1).top() - documentArea(0).top());
        const int top = std::max(0, verticalScrollBar()->value() + event->rect().top() - kGap);
        for (std::size_t i = std::min(std::size_t(top / step), n - 1); i < n; ++i) {
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
            p.setPen(Qt::NoPen);
            for (std::size_t m = 0; m < m_owner.m_matches.size(); ++m) {
                const Match& match = m_owner.m_matches[m];
                if (match.page != i) continue;
                const bool current = int(m) == m_owner.m_match;
                p.setBrush(current ? QColor(255, 140, 0, 120) : QColor(255, 225, 0, 110));
                p.drawRect(match.box);
            }
            p.restore();
        }
    }

private:
    const PreviewWindow& m_owner;
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
      m_find(new QLineEdit(this)),
      m_findLabel(new QLabel(this)),
      m_saved(new QLabel(this)) {
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
    const std::pair<QToolButton*, std::pair<const char*, QString>> pageButtons[] = {
        {m_first, {"firstPage", QStringLiteral("|<")}},
        {m_previous, {"previousPage", QStringLiteral("<")}},
        {m_next, {"nextPage", QStringLiteral(">")}},
        {m_last, {"lastPage", QStringLiteral(">|")}},
    };
    for (const auto& [b, info] : pageButtons) {
        b->setObjectName(QString::fromLatin1(info.first));
        b->setText(info.second);
        b->setFocusPolicy(Qt::TabFocus);
    }
    m_first->setToolTip(QStringLiteral("Primeira página (Ctrl+Home)"));
    m_previous->setToolTip(QStringLiteral("Página anterior (PgUp)"));
    m_next->setToolTip(QStringLiteral("Próxima página (PgDn)"));
    m_last->setToolTip(QStringLiteral("Última página (Ctrl+End)"));

    m_pageNumber->setObjectName("pageNumber");
    m_pageNumber->setRange(1, int(std::max<std::size_t>(1, pages.expectedPages())));
    m_pageLabel->setObjectName("pageLabel");
    m_zoom->setObjectName("zoom");
    m_zoom->addItem(QStringLiteral("Ajustar à largura"));
    m_zoom->addItem(QStringLiteral("Página inteira"));
    for (int percent : kPercents) m_zoom->addItem(QStringLiteral("%1%").arg(percent));
    m_find->setObjectName("find");
    m_find->setPlaceholderText(QStringLiteral("Localizar (Ctrl+F)"));
    m_find->setToolTip(QStringLiteral("Localizar no relatório (Ctrl+F); Enter ou F3 vai à próxima ocorrência"));
    m_find->setClearButtonEnabled(true);
    m_find->setMinimumWidth(160);
    m_findLabel->setObjectName("findLabel");
    m_findLabel->setMinimumWidth(m_findLabel->fontMetrics().horizontalAdvance(QStringLiteral("Não encontrado")) + 4);

    auto* bar = new QHBoxLayout;
    bar->addWidget(print);
    bar->addWidget(save);
    bar->addSpacing(12);
    bar->addWidget(m_first);
    bar->addWidget(m_previous);
    bar->addWidget(m_pageNumber);
    bar->addWidget(m_next);
    bar->addWidget(m_last);
    bar->addWidget(m_pageLabel);
    bar->addSpacing(12);
    bar->addWidget(m_zoom);
    bar->addSpacing(12);
    bar->addWidget(m_find);
    bar->addWidget(m_findLabel);
    bar->addStretch(1);
    m_saved->setObjectName("savedLabel");
    bar->addWidget(m_saved);
    bar->addWidget(close);

    m_canvas->setObjectName("pages");
    // Fixed, so that fitting the width does not make the bar come and go.
    m_canvas->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_canvas->viewport()->installEventFilter(this);

    // The page list: a thumbnail and the number of every page.
    m_pageList->setObjectName("pageList");
    m_pageList->setIconSize(QSize(kThumbWidth, int(kThumbWidth * 1.42)));
    m_pageList->setViewMode(QListView::ListMode);
    m_pageList->setUniformItemSizes(true);
    m_pageList->setSpacing(4);
    m_pageList->setFocusPolicy(Qt::StrongFocus);
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
        m_pageList->setFixedWidth(kThumbWidth + 60);
    }
    m_thumbnails->setInterval(0);
    connect(m_thumbnails, &QTimer::timeout, this, [this] { makeThumbnails(); });

    auto* body = new QHBoxLayout;
    body->addWidget(m_pageList);
    body->addWidget(m_canvas, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(body, 1);

    connect(print, &QToolButton::clicked, this, [this] {
        if (m_actions.print) m_actions.print();
    });
    connect(save, &QToolButton::clicked, this, [this] {
        if (!m_actions.saveAs) return;
        if (const auto file = m_actions.saveAs()) {
            const QString path = QString::fromStdString(*file);
            m_saved->setToolTip(path);
            m_saved->setText(
                QStringLiteral("Salvo em %1").arg(m_saved->fontMetrics().elidedText(path, Qt::ElideMiddle, 320)));
        }
    });
    connect(close, &QToolButton::clicked, this, &QDialog::accept);
    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(m_page > 0 ? m_page - 1 : 0); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(pageCount() ? pageCount() - 1 : 0); });
    connect(m_pageNumber, &QSpinBox::valueChanged, this, [this](int v) { showPage(std::size_t(std::max(1, v) - 1)); });
    connect(m_zoom, &QComboBox::currentIndexChanged, this, [this] { updateScale(); });
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

    auto shortcut = [this](const QKeySequence& keys, const std::function<void()>& what) {
        auto* s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, what);
    };
    shortcut(QKeySequence(Qt::Key_PageDown), [this] { showPage(m_page + 1); });
    shortcut(QKeySequence(Qt::Key_PageUp), [this] { showPage(m_page > 0 ? m_page - 1 : 0); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(0); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { showPage(pageCount() ? pageCount() - 1 : 0); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus),
             [this] { setZoomIndex(std::min(m_zoom->count() - 1, std::max(2, m_zoom->currentIndex() + 1))); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus), [this] { setZoomIndex(std::max(2, m_zoom->currentIndex() - 1)); });
    shortcut(QKeySequence::Print, [print] { print->click(); });
    shortcut(QKeySequence::Save, [save] { save->click(); });
    shortcut(QKeySequence::Find, [this] {
        m_find->setFocus(Qt::ShortcutFocusReason);
        m_find->selectAll();
    });
    shortcut(QKeySequence(Qt::Key_F3), [this] { m_matches.empty() ? void(find(m_find->text())) : void(findNext()); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findNext(false); });

    // A size that uses the screen: nearly all of its height, and the width
    // of a page at its real size when there is room for it.
    QScreen* shownOn = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect screen = shownOn ? shownOn->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSizeF paper = ReportPagePainter::pageSize(pages);
    const int wanted = int(paper.width() * logicalDpiX() / 72.0) + m_pageList->width() + 2 * kGap + 60;
    resize(std::min(std::max(wanted, 900), screen.width() * 95 / 100), screen.height() * 92 / 100);
    updateScale();
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
}

PreviewWindow::~PreviewWindow() = default;

std::size_t PreviewWindow::pageCount() const { return m_pages.expectedPages(); }

bool PreviewWindow::complete() const { return m_pages.finished(); }

QString PreviewWindow::savedText() const { return m_saved->text(); }

void PreviewWindow::takeArrivals() {
    const std::size_t ready = m_pages.pageCount();
    if (ready != m_ready) {
        m_ready = ready;
        m_canvas->update();
        if (!m_thumbnails->isActive()) m_thumbnails->start();
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
    if (bar->value() < bar->maximum()) {
        const int y = bar->value() + m_canvas->viewport()->height() / 3;
        const int step = m_canvas->documentArea(1).top() - m_canvas->documentArea(0).top();
        page = std::min(pageCount() - 1, std::size_t(std::max(0, y - kGap / 2) / std::max(1, step)));
    }
    if (page != m_page) {
        m_page = page;
        updatePageControls();
    }
}

void PreviewWindow::setZoomIndex(int index) { m_zoom->setCurrentIndex(std::clamp(index, 0, m_zoom->count() - 1)); }

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
    const int index = m_zoom->currentIndex();
    if (index == FitWidth) {
        m_scale = std::max(0.1, room.width() / paper.width());
    } else if (index == FitPage) {
        m_scale = std::max(0.1, std::min(room.width() / paper.width(), room.height() / paper.height()));
    } else {
        const int percent = kPercents[std::clamp(index - 2, 0, int(std::size(kPercents)) - 1)];
        m_scale = percent / 100.0 * logicalDpiX() / 72.0;
    }
    m_canvas->updateSize();
    // The page in view stays in view.
    if (pageCount() > 0) {
        m_scrolling = true;
        m_canvas->verticalScrollBar()->setValue(m_canvas->documentArea(m_page).top() - kGap / 2);
        m_scrolling = false;
    }
}

void PreviewWindow::makeThumbnails() {
    // A few at a time, so that the window answers while they are made.
    const QSizeF paper = ReportPagePainter::pageSize(m_pages);
    const ReportPagePainter painter(m_pages);
    for (int made = 0; made < 4 && m_nextThumbnail < m_pages.pageCount(); ++made, ++m_nextThumbnail) {
        const double s = 2.0 * kThumbWidth / paper.width();
        QImage image(QSize(2 * kThumbWidth, int(paper.height() * s)), QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            p.scale(s, s);
            painter.paint(p, m_nextThumbnail);
            p.resetTransform();
            p.setPen(QColor(0x90, 0x90, 0x90));
            p.drawRect(image.rect().adjusted(0, 0, -1, -1));
        }
        QListWidgetItem* item = m_pageList->item(int(m_nextThumbnail));
        if (item)
            item->setIcon(QIcon(QPixmap::fromImage(
                image.scaled(m_pageList->iconSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation))));
    }
    if (m_nextThumbnail >= m_pages.pageCount()) m_thumbnails->stop();
}

std::vector<PreviewWindow::TextRun> PreviewWindow::textOf(std::size_t page) const {
    TextRecorder recorder(ReportPagePainter::pageSize(m_pages));
    {
        QPainter p(&recorder);
        ReportPagePainter(m_pages).paint(p, page);
    }
    std::vector<TextRun> runs;
    runs.reserve(recorder.runs.size());
    for (auto& r : recorder.runs)
        runs.push_back(TextRun{r.box, r.text, internal::searchKey(r.text), std::move(r.offsets)});
    return runs;
}

int PreviewWindow::find(const QString& text) {
    m_finder->stop();
    m_matches.clear();
    m_match = -1;
    m_search = {};
    m_search.needle = internal::searchKey(text.trimmed());
    if (m_search.needle.isEmpty()) {
        m_findLabel->clear();
        m_canvas->update();
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
    for (std::size_t searched = 0; m_search.done < m_search.pages && (searched < atLeast || clock.elapsed() < 40);
         ++searched, ++m_search.done) {
        const std::size_t page = (m_search.first + m_search.done) % m_search.pages;
        for (const TextRun& run : textOf(page)) {
            // Folding keeps one letter for one letter in our texts; where it
            // does not, the whole piece is marked.
            const bool aligned = run.key.size() == run.text.size();
            for (qsizetype at = run.key.indexOf(needle); at >= 0; at = run.key.indexOf(needle, at + 1)) {
                QRectF box = run.box;
                if (aligned) {
                    const double x0 = run.offsets[std::size_t(at)];
                    const double x1 = run.offsets[std::size_t(at + needle.size())];
                    box = QRectF(run.box.left() + x0, run.box.top(), x1 - x0, run.box.height());
                }
                m_matches.push_back(Match{page, box.adjusted(-0.5, -0.5, 0.5, 0.5)});
                if (!aligned) break;
            }
        }
    }
    const bool finished = m_search.done >= m_search.pages;
    if (finished) m_finder->stop();
    if (m_match < 0 && !m_matches.empty()) {
        m_match = 0;
        showMatch();
    } else if (m_match >= 0) {
        showMatch(false);
    } else {
        m_findLabel->setText(finished ? QStringLiteral("Não encontrado")
                                      : QStringLiteral("Procurando... %1%").arg(100 * m_search.done / m_search.pages));
    }
    m_canvas->update();
}

bool PreviewWindow::findNext(bool forward) {
    if (m_matches.empty()) return false;
    const int n = matchCount();
    m_match = ((m_match + (forward ? 1 : -1)) % n + n) % n;
    showMatch();
    m_canvas->update();
    return true;
}

void PreviewWindow::showMatch(bool scroll) {
    const Match& match = m_matches[std::size_t(m_match)];
    const bool searching = m_search.done < m_search.pages;
    m_findLabel->setText(QStringLiteral("%1 de %2%3").arg(m_match + 1).arg(matchCount()).arg(searching ? "..." : ""));
    if (!scroll) return;
    const QRect area = m_canvas->documentArea(match.page);
    const QRectF box(area.left() + match.box.left() * m_scale, area.top() + match.box.top() * m_scale,
                     match.box.width() * m_scale, match.box.height() * m_scale);
    m_scrolling = true;
    m_canvas->ensureVisible(int(box.center().x()), int(box.center().y()), int(box.width() / 2) + 40,
                            m_canvas->viewport()->height() / 3);
    m_scrolling = false;
    m_page = match.page;
    updatePageControls();
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    // Fitted zooms follow the window's size.
    if (watched == m_canvas->viewport() && event->type() == QEvent::Resize &&
        (m_zoom->currentIndex() == FitWidth || m_zoom->currentIndex() == FitPage))
        updateScale();
    return QDialog::eventFilter(watched, event);
}

}  // namespace pla013::gui
