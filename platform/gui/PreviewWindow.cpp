#include "platform/gui/PreviewWindow.h"

#include <algorithm>

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"

namespace pla013::gui {

namespace {
constexpr int kGap = 16;  // grey border around the page, pixels
const int kPercents[] = {50, 75, 100, 150, 200};
}  // namespace

// The current page on white paper with a shadow, at the window's scale.
class PreviewWindow::Canvas final : public QWidget {
public:
    Canvas(const PreviewWindow& owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
        setObjectName("page");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    void updateSize() {
        const QSizeF paper = ReportPagePainter::pageSize(m_owner.m_pages) * m_owner.m_scale;
        resize(int(paper.width()) + 2 * kGap, int(paper.height()) + 2 * kGap);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x80, 0x80, 0x80));
        const QSizeF paper = ReportPagePainter::pageSize(m_owner.m_pages);
        const QRectF sheet(kGap, kGap, paper.width() * m_owner.m_scale, paper.height() * m_owner.m_scale);
        p.fillRect(sheet.translated(3, 3), QColor(0x40, 0x40, 0x40));
        p.fillRect(sheet, Qt::white);
        if (m_owner.m_pages.pageCount() == 0) return;
        p.translate(sheet.topLeft());
        p.scale(m_owner.m_scale, m_owner.m_scale);
        ReportPagePainter(m_owner.m_pages).paint(p, m_owner.m_page);
    }

private:
    const PreviewWindow& m_owner;
};

PreviewWindow::PreviewWindow(const ReportPages& pages, Actions actions, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_pages(pages),
      m_actions(std::move(actions)),
      m_scroll(new QScrollArea(this)),
      m_canvas(new Canvas(*this, nullptr)),
      m_zoom(new QComboBox(this)),
      m_pageNumber(new QSpinBox(this)),
      m_pageLabel(new QLabel(this)),
      m_first(new QToolButton(this)),
      m_previous(new QToolButton(this)),
      m_next(new QToolButton(this)),
      m_last(new QToolButton(this)) {
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
    m_pageNumber->setRange(1, int(std::max<std::size_t>(1, pages.pageCount())));
    m_pageLabel->setObjectName("pageLabel");
    m_zoom->setObjectName("zoom");
    m_zoom->addItem(QStringLiteral("Ajustar à largura"));
    m_zoom->addItem(QStringLiteral("Página inteira"));
    for (int percent : kPercents) m_zoom->addItem(QStringLiteral("%1%").arg(percent));

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
    bar->addStretch(1);
    bar->addWidget(close);

    m_scroll->setObjectName("pages");
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    // Fixed, so that fitting the width does not make the bar come and go.
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(print, &QToolButton::clicked, this, [this] {
        if (m_actions.print) m_actions.print();
    });
    connect(save, &QToolButton::clicked, this, [this] {
        if (m_actions.saveAs) m_actions.saveAs();
    });
    connect(close, &QToolButton::clicked, this, &QDialog::accept);
    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(m_page > 0 ? m_page - 1 : 0); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(pageCount() ? pageCount() - 1 : 0); });
    connect(m_pageNumber, &QSpinBox::valueChanged, this, [this](int v) { showPage(std::size_t(std::max(1, v) - 1)); });
    connect(m_zoom, &QComboBox::currentIndexChanged, this, [this] { updateScale(); });

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

    resize(900, 760);
    updateScale();
    updatePageControls();
}

PreviewWindow::~PreviewWindow() = default;

std::size_t PreviewWindow::pageCount() const { return m_pages.pageCount(); }

QWidget* PreviewWindow::pageCanvas() const { return m_canvas; }

void PreviewWindow::showPage(std::size_t page) {
    if (pageCount() == 0) return;
    page = std::min(page, pageCount() - 1);
    if (page != m_page) {
        m_page = page;
        m_scroll->verticalScrollBar()->setValue(0);
        m_canvas->update();
    }
    updatePageControls();
}

void PreviewWindow::setZoomIndex(int index) { m_zoom->setCurrentIndex(std::clamp(index, 0, m_zoom->count() - 1)); }

QString PreviewWindow::pageText() const {
    return QStringLiteral("Página %1 de %2").arg(pageCount() ? m_page + 1 : 0).arg(pageCount());
}

void PreviewWindow::updatePageControls() {
    m_pageLabel->setText(pageText());
    {
        const QSignalBlocker block(m_pageNumber);
        m_pageNumber->setValue(int(m_page) + 1);
    }
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < pageCount());
    m_last->setEnabled(m_page + 1 < pageCount());
}

void PreviewWindow::updateScale() {
    const QSizeF paper = ReportPagePainter::pageSize(m_pages);
    const QSize room = m_scroll->viewport()->size() - QSize(2 * kGap, 2 * kGap);
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
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    // Fitted zooms follow the window's size.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize &&
        (m_zoom->currentIndex() == FitWidth || m_zoom->currentIndex() == FitPage))
        updateScale();
    return QDialog::eventFilter(watched, event);
}

}  // namespace pla013::gui
