#pragma once
// Operator and password for an application server that requires sign-in.
// The refusal of the last attempt ("Operador ou senha incorretos.", a lock
// with its time left) stands above the fields.

#include <optional>
#include <string>
#include <utility>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pla013::gui {

class SignInDialog final : public QDialog {
public:
    SignInDialog(const std::string& server, const std::string& operatorCode, const std::string& refusal,
                 QWidget* parent = nullptr);

    // Operator and password once "Entrar" was pressed.
    std::optional<std::pair<std::string, std::string>> credentials() const;

    // Shows the dialog modally: what HostSession asks for when the server
    // requires sign-in.
    static std::optional<std::pair<std::string, std::string>> ask(const std::string& server,
                                                                  const std::string& operatorCode,
                                                                  const std::string& refusal);

    QLineEdit* operatorBox() const { return m_operator; }
    QLineEdit* passwordBox() const { return m_password; }
    QLabel* refusalLabel() const { return m_refusal; }
    QPushButton* signInButton() const { return m_signIn; }

private:
    QLineEdit* m_operator;
    QLineEdit* m_password;
    QLabel* m_refusal;
    QPushButton* m_signIn;
};

}  // namespace pla013::gui
