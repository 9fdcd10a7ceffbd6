#pragma once
// Answers the modal windows a user action opens, through their widgets, in
// the order expected. Each step waits (within a time limit) for the modal
// window it matches, then acts on it. A step that never finds its window is
// a failure, and every modal window is closed so that the test goes on.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

class QWidget;

namespace pla013guitest {

class ModalSteps {
public:
    using Match = std::function<bool(QWidget*)>;
    using Act = std::function<void(QWidget*)>;

    ModalSteps();
    ~ModalSteps();

    void expect(std::string what, Match match, Act act);
    // An error or information box with this text, answered with OK.
    void expectMessage(const QString& text);
    bool done() const { return m_steps.empty(); }
    const std::vector<std::string>& failures() const { return m_failures; }
    // Texts of the message boxes answered, in order.
    const std::vector<std::string>& messages() const { return m_messages; }

    static Match named(const QString& objectName);
    // True while some ModalSteps waits for a window.
    static bool anyPending();

private:
    struct Step {
        std::string what;
        Match match;
        Act act;
    };
    void poll();
    QTimer m_timer;
    QElapsedTimer m_waiting;
    std::deque<Step> m_steps;
    std::vector<std::string> m_failures;
    std::vector<std::string> m_messages;
};

}  // namespace pla013guitest
