#include "platform/gui/SignInDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pla013::gui {

SignInDialog::SignInDialog(const std::string& server, const std::string& operatorCode, const std::string& refusal,
                           QWidget* parent)
    : QDialog(parent),
      m_operator(new QLineEdit(QString::fromStdString(operatorCode))),
      m_password(new QLineEdit),
      m_refusal(new QLabel(QString::fromStdString(refusal))) {
    setWindowTitle(QStringLiteral("Entrar no servidor de aplicação"));
    setObjectName(QStringLiteral("SignInDialog"));
    m_operator->setObjectName(QStringLiteral("operador"));
    m_operator->setMaxLength(10);
    m_password->setObjectName(QStringLiteral("senha"));
    m_password->setEchoMode(QLineEdit::Password);
    m_refusal->setObjectName(QStringLiteral("recusa"));
    m_refusal->setWordWrap(true);
    m_refusal->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_refusal->setVisible(!refusal.empty());

    auto* intro = new QLabel(
        QStringLiteral("O servidor de aplicação em %1 pede operador e senha.").arg(QString::fromStdString(server)));
    intro->setWordWrap(true);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("&Operador:"), m_operator);
    fields->addRow(QStringLiteral("&Senha:"), m_password);
    auto* buttons = new QDialogButtonBox;
    m_signIn = buttons->addButton(QStringLiteral("Entrar"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    m_signIn->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto update = [this] {
        m_signIn->setEnabled(!m_operator->text().trimmed().isEmpty() && !m_password->text().isEmpty());
    };
    connect(m_operator, &QLineEdit::textChanged, this, update);
    connect(m_password, &QLineEdit::textChanged, this, update);
    update();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_refusal);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    (operatorCode.empty() ? m_operator : m_password)->setFocus();
}

std::optional<std::pair<std::string, std::string>> SignInDialog::credentials() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    return std::pair{m_operator->text().trimmed().toStdString(), m_password->text().toStdString()};
}

std::optional<std::pair<std::string, std::string>> SignInDialog::ask(const std::string& server,
                                                                     const std::string& operatorCode,
                                                                     const std::string& refusal) {
    SignInDialog dialog(server, operatorCode, refusal);
    dialog.exec();
    return dialog.credentials();
}

}  // namespace pla013::gui
