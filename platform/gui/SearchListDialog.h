#pragma once
// The single-selection search list of the search buttons: the rows of a data
// set in a list, a filter box above it (rows holding the typed text in any
// column stay), Enter or a double click chooses, Esc cancels.

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace pla013::host {
class TDataSet;
struct SearchRequest;
}  // namespace pla013::host

namespace pla013::gui {

class SearchListDialog final : public QDialog {
public:
    // Reads every row of data (from its first); the data set is not moved again.
    SearchListDialog(const host::SearchRequest& request, host::TDataSet& data, QWidget* parent = nullptr);

    // The chosen row's number in the data set's order, once accepted.
    std::optional<std::size_t> chosenRow() const;

    QLineEdit* filterBox() const { return m_filter; }
    QTreeWidget* list() const { return m_list; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyFilter(const QString& text);
    QLineEdit* m_filter;
    QTreeWidget* m_list;
    QLabel* m_count;
};

}  // namespace pla013::gui
