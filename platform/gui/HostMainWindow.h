#pragma once
// The main window that stands for the host application: a multiple-document
// area for the child forms, the menu entries that launch the report module,
// and the host's working context in the status bar.

#include <functional>
#include <string>

#include <QMainWindow>

class QAction;
class QLabel;
class QMdiArea;

namespace pla013::host {
class Variant;
}

namespace pla013::gui {

class HostMainWindow final : public QMainWindow {
public:
    // The working context as the status bar shows it.
    struct Context {
        std::string branch, operatorCode, date, module, database, server;
        bool singleBranch = false;
    };
    // launch: calls the module's entry point with the argument.
    HostMainWindow(Context context, std::function<void(const host::Variant&)> launch, QWidget* parent = nullptr);
    ~HostMainWindow() override;

    QMdiArea* mdiArea() const { return m_area; }
    // The text of the status bar field with this object name ("branch", ...).
    QString statusText(const QString& field) const;

    // Runs the module as the menu entries do.
    void openChild();
    void openDialog();

    // Before the window closes: the open forms are closed as the user would.
    std::function<void()> onClosing;
    // Why "Prato..." cannot open the form now (empty: it can).
    std::function<std::string()> whyNoDialog;
    // "Limpar filtros": the form back as designed.
    std::function<void()> onClearFilters;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addStatus(const char* name, const QString& text, const QString& tip);

    Context m_context;
    std::function<void(const host::Variant&)> m_launch;
    QMdiArea* m_area;
    QAction* m_child = nullptr;
    QAction* m_dialog = nullptr;
};

}  // namespace pla013::gui
