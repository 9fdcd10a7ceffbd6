#include "platform/gui/ChecklistDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "host/Data.h"
#include "platform/gui/internal/DataColumns.h"
#include "platform/gui/internal/SearchText.h"

namespace pla013::gui {

namespace {
constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kSearchRole = Qt::UserRole + 2;  // the row's texts folded for the filter
}  // namespace

ChecklistDialog::ChecklistDialog(const std::string& caption, host::TDataSet& data, const std::string& keyField,
                                 QWidget* parent)
    : QDialog(parent),
      m_filter(new QLineEdit(this)),
      m_list(new QTreeWidget(this)),
      m_all(new QPushButton(QStringLiteral("&Marcar todos"), this)),
      m_none(new QPushButton(QStringLiteral("&Desmarcar todos"), this)),
      m_count(new QLabel(this)) {
    setObjectName("listDialog");
    const auto bar = caption.find('|');
    setWindowTitle(QString::fromStdString(caption.substr(0, bar)));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    if (bar != std::string::npos && bar + 1 < caption.size()) {
        auto* second = new QLabel(QString::fromStdString(caption.substr(bar + 1)), this);
        second->setObjectName("subtitle");
        layout->addWidget(second);
    }
    auto* filterLabel = new QLabel(QStringLiteral("&Procurar:"), this);
    filterLabel->setBuddy(m_filter);
    m_filter->setObjectName("filter");
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(filterLabel);
    layout->addWidget(m_filter);

    const auto columns = internal::dataColumns(data, {});
    m_list->setObjectName("rows");
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(int(columns.size()));
    QStringList headers;
    for (const auto& c : columns) headers << QString::fromStdString(c.label);
    m_list->setHeaderLabels(headers);
    host::TField& key = data.FieldByName(keyField);
    for (data.First(); !data.Eof(); data.Next()) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        QStringList texts;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            texts << QString::fromStdString(data.FieldByName(columns[i].field).AsString());
            item->setText(int(i), texts.back());
        }
        item->setData(0, kSearchRole, internal::rowSearchKey(texts));
        item->setData(0, kKeyRole, QString::fromStdString(key.AsString()));
    }
    for (std::size_t i = 0; i < columns.size(); ++i)
        m_list->setColumnWidth(int(i), std::max(70, columns[i].width * 7 + 24));
    layout->addWidget(m_list, 1);

    auto* row = new QHBoxLayout;
    m_all->setObjectName("selectAll");
    m_none->setObjectName("clear");
    m_count->setObjectName("count");
    row->addWidget(m_all);
    row->addWidget(m_none);
    row->addStretch(1);
    row->addWidget(m_count);
    layout->addLayout(row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_all, &QPushButton::clicked, this, [this] { setShownChecked(true); });
    connect(m_none, &QPushButton::clicked, this, [this] { setShownChecked(false); });
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& t) { applyFilter(t); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this] { updateCount(); });
    // Space on a row checks or unchecks it, whichever column is current;
    // Enter confirms.
    m_list->installEventFilter(this);

    // As wide as the columns, within the screen.
    resize(QSize(std::max(460, m_list->header()->length() + 40), 460)
               .boundedTo(screen()->availableGeometry().size() * 0.9));
    updateCount();
    m_filter->setFocus();
}

bool ChecklistDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        if (QTreeWidgetItem* item = m_list->currentItem(); item && !item->isHidden())
            item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ChecklistDialog::applyFilter(const QString& text) {
    const QString needle = internal::searchKey(text.trimmed());
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        const bool match = needle.isEmpty() || item->data(0, kSearchRole).toString().contains(needle);
        item->setHidden(!match);
    }
    updateCount();
}

void ChecklistDialog::setShownChecked(bool checked) {
    // Only the rows the filter leaves: "all" means all that the user sees.
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (!item->isHidden()) item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    updateCount();
}

void ChecklistDialog::updateCount() {
    int checked = 0;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->checkState(0) == Qt::Checked) ++checked;
    m_count->setText(QStringLiteral("%1 marcado(s) de %2").arg(checked).arg(m_list->topLevelItemCount()));
}

std::optional<std::vector<std::string>> ChecklistDialog::chosenKeys() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> keys;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked) keys.push_back(item->data(0, kKeyRole).toString().toStdString());
    }
    return keys;
}

}  // namespace pla013::gui
