#include "platform/gui/SearchListDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/Data.h"
#include "host/Ports.h"
#include "platform/gui/internal/DataColumns.h"
#include "platform/gui/internal/SearchText.h"

namespace pla013::gui {

namespace {
constexpr int kRowRole = Qt::UserRole + 1;
constexpr int kSearchRole = Qt::UserRole + 2;  // the row's texts folded for the filter
}  // namespace

SearchListDialog::SearchListDialog(const host::SearchRequest& request, host::TDataSet& data, QWidget* parent)
    : QDialog(parent), m_filter(new QLineEdit(this)), m_list(new QTreeWidget(this)), m_count(new QLabel(this)) {
    setObjectName("searchDialog");
    setWindowTitle(QString::fromStdString(request.title));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* filterLabel = new QLabel(QStringLiteral("&Procurar:"), this);
    filterLabel->setBuddy(m_filter);
    m_filter->setObjectName("filter");
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(filterLabel);
    layout->addWidget(m_filter);

    const auto columns = internal::dataColumns(data, request.keyFields);
    m_list->setObjectName("rows");
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setColumnCount(int(columns.size()));
    QStringList headers;
    for (const auto& c : columns) headers << QString::fromStdString(c.label);
    m_list->setHeaderLabels(headers);

    std::size_t row = 0;
    for (data.First(); !data.Eof(); data.Next(), ++row) {
        auto* item = new QTreeWidgetItem(m_list);
        QStringList texts;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            texts << QString::fromStdString(data.FieldByName(columns[i].field).AsString());
            item->setText(int(i), texts.back());
        }
        item->setData(0, kSearchRole, internal::rowSearchKey(texts));
        item->setData(0, kRowRole, qulonglong(row));
    }
    for (std::size_t i = 0; i < columns.size(); ++i)
        m_list->setColumnWidth(int(i), std::max(60, columns[i].width * 7 + 12));
    layout->addWidget(m_list, 1);
    m_count->setObjectName("count");
    layout->addWidget(m_count);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_list->currentItem() && !m_list->currentItem()->isHidden()) accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item) accept();
    });
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& t) { applyFilter(t); });
    m_filter->installEventFilter(this);

    // As wide as the columns, within the screen.
    resize(QSize(std::max(420, m_list->header()->length() + 40), 420)
               .boundedTo(screen()->availableGeometry().size() * 0.9));
    applyFilter(QString());
    m_filter->setFocus();
}

void SearchListDialog::applyFilter(const QString& text) {
    const QString needle = internal::searchKey(text.trimmed());
    QTreeWidgetItem* first = nullptr;
    int shown = 0;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const bool match = needle.isEmpty() || item->data(0, kSearchRole).toString().contains(needle);
        item->setHidden(!match);
        if (match) {
            ++shown;
            if (!first) first = item;
        }
    }
    // The first row left is the one Enter chooses.
    if (!m_list->currentItem() || m_list->currentItem()->isHidden()) m_list->setCurrentItem(first);
    m_count->setText(QStringLiteral("%1 de %2").arg(shown).arg(m_list->topLevelItemCount()));
}

bool SearchListDialog::eventFilter(QObject* watched, QEvent* event) {
    // Up and down in the filter box move in the list; Enter there chooses.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up || key->key() == Qt::Key_PageDown ||
            key->key() == Qt::Key_PageUp) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers());
            QCoreApplication::sendEvent(m_list, &copy);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (m_list->currentItem() && !m_list->currentItem()->isHidden()) accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::optional<std::size_t> SearchListDialog::chosenRow() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item || item->isHidden()) return std::nullopt;
    return std::size_t(item->data(0, kRowRole).toULongLong());
}

}  // namespace pla013::gui
