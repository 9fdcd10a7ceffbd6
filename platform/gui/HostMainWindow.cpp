#include "platform/gui/HostMainWindow.h"

#include <algorithm>
#include <string_view>

#include <QAction>
#include <QCloseEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>

#include "host/Variant.h"
#include "platform/gui/internal/ElidedLabel.h"
#include "platform/gui/internal/ScreenFit.h"

namespace pla013::gui {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

HostMainWindow::HostMainWindow(Context context, std::function<void(const host::Variant&)> launch, QWidget* parent)
    : QMainWindow(parent), m_context(std::move(context)), m_launch(std::move(launch)), m_area(new QMdiArea(this)) {
    setObjectName("hostMainWindow");
    setWindowTitle(QStringLiteral("PLA013 - Relatórios de Pratos"));
    m_area->setObjectName("mdiArea");
    m_area->setBackground(QColor(0x70, 0x80, 0x90));
    // A form larger than the work area scrolls in it.
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    file->setObjectName("fileMenu");
    // Closes the form in front, as its window's close button would. Its
    // keys are the form's own (its view takes Esc and Ctrl+F4, also in the
    // modal dialog), named here.
    QAction* closeForm =
        file->addAction(QStringLiteral("&Fechar\tEsc, Ctrl+F4"), m_area, &QMdiArea::closeActiveSubWindow);
    closeForm->setObjectName("closeForm");
    closeForm->setEnabled(false);
    connect(m_area, &QMdiArea::subWindowActivated, closeForm,
            [closeForm](QMdiSubWindow* w) { closeForm->setEnabled(w != nullptr); });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Sair"), this, [this] { close(); });
    quit->setShortcut(QKeySequence::Quit);

    QMenu* reports = menuBar()->addMenu(QStringLiteral("&Relatórios"));
    reports->setObjectName("reportsMenu");
    m_child = reports->addAction(QStringLiteral("&Emissão das Receitas"), this, [this] { openChild(); });
    m_child->setObjectName("openChild");
    m_child->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_dialog = reports->addAction(QStringLiteral("&Prato..."), this, [this] { openDialog(); });
    m_dialog->setObjectName("openDialog");
    m_dialog->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    reports->addSeparator();
    QAction* clear = reports->addAction(QStringLiteral("&Limpar filtros"), this, [this] {
        if (onClearFilters) onClearFilters();
    });
    clear->setObjectName("clearFilters");

    QMenu* windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    windows->setObjectName("windowMenu");
    windows->addAction(QStringLiteral("&Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    windows->addAction(QStringLiteral("&Lado a lado"), m_area, &QMdiArea::tileSubWindows);

    addStatus("branch", QStringLiteral("Filial: %1").arg(qs(m_context.branch)), QStringLiteral("Filial atual do host"));
    addStatus("operator", QStringLiteral("Operador: %1").arg(qs(m_context.operatorCode)), QStringLiteral("Operador"));
    addStatus("date", QStringLiteral("Data: %1").arg(qs(m_context.date)), QStringLiteral("Data de processamento"));
    addStatus("module", QStringLiteral("Módulo: %1").arg(qs(m_context.module)), QStringLiteral("Módulo ativo do host"));
    addStatus(
        "singleBranch",
        QStringLiteral("Filial única: %1").arg(m_context.singleBranch ? QStringLiteral("Sim") : QStringLiteral("Não")),
        QStringLiteral("O host trabalha com uma só filial"));
    addStatus("database", QStringLiteral("Banco: %1").arg(qs(m_context.database)), QStringLiteral("Banco de dados"));
    addStatus("server", QStringLiteral("Servidor: %1").arg(qs(m_context.server)),
              QStringLiteral("Servidor de aplicação"));
    // The whole screen until the operator leaves it otherwise (the host
    // restores what was left); the designed size for when it is restored.
    resize(QSize(1000, 700).boundedTo(internal::roomFor(*this)));
    setWindowState(windowState() | Qt::WindowMaximized);
}

HostMainWindow::~HostMainWindow() = default;

void HostMainWindow::addStatus(const char* name, const QString& text, const QString& tip) {
    // Paths (the database's) may be long.
    const bool elided = std::string_view(name) == "database";
    QLabel* label = nullptr;
    if (elided) {
        auto* shortened = new internal::ElidedLabel(this);
        shortened->setMinimumWidth(80);
        shortened->setFullText(text, tip);
        label = shortened;
    } else {
        label = new QLabel(text, this);
        label->setToolTip(tip);
    }
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addPermanentWidget(label);
}

QString HostMainWindow::statusText(const QString& field) const {
    auto* label = statusBar()->findChild<QLabel*>(field);
    if (auto* elided = dynamic_cast<internal::ElidedLabel*>(label)) return elided->fullText();
    return label ? label->text() : QString();
}

void HostMainWindow::openChild() {
    // The host's current branch: the module asks for it itself.
    m_launch(host::Variant::null());
}

void HostMainWindow::openDialog() {
    if (const std::string why = whyNoDialog ? whyNoDialog() : std::string(); !why.empty()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Prato"), qs(why), QMessageBox::Ok, this);
        box.setObjectName("noDialogMessage");
        box.exec();
        return;
    }
    QInputDialog ask(this);
    ask.setObjectName("branchDialog");
    ask.setWindowTitle(QStringLiteral("Prato"));
    ask.setLabelText(QStringLiteral("Filial:"));
    ask.setInputMode(QInputDialog::TextInput);
    ask.setTextValue(qs(m_context.branch));
    ask.setOkButtonText(QStringLiteral("OK"));
    ask.setCancelButtonText(QStringLiteral("Cancelar"));
    if (ask.exec() != QDialog::Accepted) return;
    const std::string branch = ask.textValue().trimmed().toStdString();
    if (branch.empty()) return;
    m_launch(host::Variant(std::vector<host::Variant>{host::Variant(branch)}));
}

void HostMainWindow::closeEvent(QCloseEvent* event) {
    if (onClosing) onClosing();
    QMainWindow::closeEvent(event);
}

}  // namespace pla013::gui
