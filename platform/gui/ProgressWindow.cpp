#include "platform/gui/ProgressWindow.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pla013::gui {

ProgressWindow::ProgressWindow()
    : QWidget(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint),
      m_text(new QLabel(this)) {
    setObjectName("progressWindow");
    setWindowTitle(QStringLiteral("Aguarde"));
    auto* layout = new QVBoxLayout(this);
    m_text->setObjectName("text");
    m_text->setMinimumWidth(280);
    layout->addWidget(m_text);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: the work does not say how far it is
    bar->setTextVisible(false);
    layout->addWidget(bar);
}

void ProgressWindow::showText(const std::string& text, QWidget* over) {
    m_text->setText(QString::fromStdString(text));
    adjustSize();
    if (over) move(over->window()->geometry().center() - rect().center());
    show();
    raise();
    // Painted now: the caller goes on working without returning to the loop.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString ProgressWindow::text() const { return m_text->text(); }

// --------------------------------------------------------------- background work

WorkProgressDialog::WorkProgressDialog(const QString& title, QWidget* parent, const QString& writing)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      m_stage(new QLabel(this)),
      m_count(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_cancel(new QPushButton(QStringLiteral("Cancelar"), this)),
      m_writing(writing) {
    setObjectName("workProgress");
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    m_stage->setObjectName("stage");
    m_stage->setMinimumWidth(320);
    m_count->setObjectName("count");
    m_bar->setObjectName("bar");
    m_bar->setRange(0, 0);
    m_cancel->setObjectName("cancel");
    // Enter as well as Esc presses it: it is the window's only button.
    m_cancel->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stage);
    layout->addWidget(m_count);
    layout->addWidget(m_bar);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
}

QString WorkProgressDialog::stageText(const std::string& stage, const QString& writing) {
    if (stage.empty() || stage == "dados") return QStringLiteral("Lendo os dados...");
    if (stage == "paginas") return QStringLiteral("Preparando as páginas...");
    if (stage == "gravacao") return writing.isEmpty() ? QStringLiteral("Gravando o arquivo...") : writing;
    return QString::fromStdString(stage);
}

void WorkProgressDialog::show(const std::string& stage, std::size_t done, std::size_t total) {
    if (!m_cancel->isEnabled()) return;  // stopping: that is what it says
    m_stage->setText(stageText(stage, m_writing));
    QString count;
    if (stage == "dados" && done > 0)
        count = QStringLiteral("%1 linhas lidas").arg(done);
    else if (stage == "gravacao" && total > 0)
        count = QStringLiteral("Página %1 de %2").arg(done).arg(total);
    else if (stage == "paginas" && total > 0)
        count = QStringLiteral("%1 páginas").arg(total);
    m_count->setText(count);
    if (stage == "gravacao" && total > 0) {
        m_bar->setRange(0, int(std::min<std::size_t>(total, 1u << 30)));
        m_bar->setValue(int(std::min(done, total)));
    } else {
        m_bar->setRange(0, 0);
    }
    if (!isVisible()) QDialog::show();
}

void WorkProgressDialog::stopping() {
    m_cancel->setEnabled(false);
    m_stage->setText(QStringLiteral("Cancelando..."));
}

void WorkProgressDialog::reject() {
    // The window stays until the work has stopped.
    if (!m_cancel->isEnabled()) return;
    stopping();
    if (onCancel) onCancel();
}

bool runInBackground(QWidget* parent, const QString& title,
                     const std::function<void(std::stop_token stop, const WorkProgress& progress)>& work,
                     int showAfterMs, const std::function<void()>& whenShown, const QString& writing) {
    struct Shared {
        std::mutex mutex;
        std::string stage;
        std::size_t done = 0, total = 0;
        bool changed = false;
        std::atomic<bool> finished{false};
        std::exception_ptr error;
    } shared;
    std::stop_source stop;
    const WorkProgress progress = [&shared](const std::string& stage, std::size_t done, std::size_t total) {
        std::lock_guard lock(shared.mutex);
        shared.stage = stage;
        shared.done = done;
        shared.total = total;
        shared.changed = true;
    };

    std::jthread worker([&work, &shared, &progress, token = stop.get_token()] {
        try {
            work(token, progress);
        } catch (...) {
            shared.error = std::current_exception();
        }
        shared.finished = true;
    });

    WorkProgressDialog dialog(title, parent, writing);
    dialog.onCancel = [&stop] { stop.request_stop(); };
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    bool waiting = true;  // the window is not up yet
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (shared.finished) return loop.quit();
        if (waiting && clock.elapsed() < showAfterMs) return;
        if (waiting) {
            waiting = false;
            if (whenShown) whenShown();
            loop.quit();  // on to the loop that takes the user's input
        }
        std::lock_guard lock(shared.mutex);
        if (shared.changed || !dialog.isVisible()) dialog.show(shared.stage, shared.done, shared.total);
        shared.changed = false;
    });
    poll.start(30);
    // A short work ends before the window is worth showing; what the user
    // types meanwhile waits for it.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!shared.finished) loop.exec();
    poll.stop();
    worker.join();
    dialog.hide();
    // Work that ended well in spite of a late "Cancelar" is done.
    if (shared.error && stop.stop_requested()) return false;
    if (shared.error) std::rethrow_exception(shared.error);
    return true;
}

}  // namespace pla013::gui
