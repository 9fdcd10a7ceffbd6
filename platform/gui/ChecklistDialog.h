#pragma once
// The multi-selection list of PesquisaLista: every row of a data set with a
// check box, a filter box, "select all" and "clear" for the rows shown. The
// keys of the checked rows are the answer.

#include <optional>
#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace pla013::host {
class TDataSet;
}

namespace pla013::gui {

class ChecklistDialog final : public QDialog {
public:
    // caption: "title|second text"; the title names the window, the second
    // text (when there is one) stands above the list.
    ChecklistDialog(const std::string& caption, host::TDataSet& data, const std::string& keyField,
                    QWidget* parent = nullptr);

    // Keys of the checked rows in the data set's order, once accepted.
    std::optional<std::vector<std::string>> chosenKeys() const;

    QLineEdit* filterBox() const { return m_filter; }
    QTreeWidget* list() const { return m_list; }
    QPushButton* selectAllButton() const { return m_all; }
    QPushButton* clearButton() const { return m_none; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyFilter(const QString& text);
    void setShownChecked(bool checked);
    void updateCount();
    QLineEdit* m_filter;
    QTreeWidget* m_list;
    QPushButton* m_all;
    QPushButton* m_none;
    QLabel* m_count;
};

}  // namespace pla013::gui
