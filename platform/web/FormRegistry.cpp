#include "platform/web/FormRegistry.h"

#include <sodium.h>

namespace pla013::web {

namespace {

constexpr auto kTick = std::chrono::milliseconds(100);
constexpr auto kGrace = std::chrono::seconds(10);

std::string newId() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

}  // namespace

FormRegistry::FormRegistry(FormLimits limits, std::function<void()> tick)
    : m_limits(limits), m_tick(std::move(tick)), m_thread([this] { housekeeping(); }) {}

FormRegistry::~FormRegistry() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
    std::map<std::string, std::shared_ptr<FormProcess>> forms;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        forms.swap(m_forms);
    }
    for (auto& [id, form] : forms) form->end("servidor", true);
    for (auto& [id, form] : forms) form->reap(std::chrono::seconds(5));
}

std::shared_ptr<FormProcess> FormRegistry::open(const std::string& owner, const FormLaunch& launch,
                                                FormProcess::EventFilter filter, std::string& refusal) {
    std::string id;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::size_t all = 0, mine = 0;
        for (const auto& [fid, form] : m_forms) {
            if (form->ended()) continue;
            ++all;
            if (form->owner() == owner) ++mine;
        }
        if (all >= m_limits.maxForms) {
            refusal = "O servidor já tem formulários abertos demais; tente de novo em alguns minutos.";
            return nullptr;
        }
        if (mine >= m_limits.perSession) {
            refusal = "Você já tem " + std::to_string(mine) + " formulários abertos; feche um deles para abrir outro.";
            return nullptr;
        }
        id = newId();
    }
    auto form = std::make_shared<FormProcess>(id, owner, launch, std::move(filter));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_forms[id] = form;
    return form;
}

std::shared_ptr<FormProcess> FormRegistry::find(const std::string& owner, const std::string& id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_forms.find(id);
    if (it == m_forms.end() || it->second->owner() != owner) return nullptr;
    return it->second;
}

void FormRegistry::end(const std::string& owner, const std::string& id, const std::string& reason) {
    if (auto form = find(owner, id)) form->end(reason, true);
}

void FormRegistry::endOwner(const std::string& owner, const std::string& reason) {
    std::vector<std::shared_ptr<FormProcess>> mine;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [id, form] : m_forms)
            if (form->owner() == owner) mine.push_back(form);
    }
    for (auto& form : mine) form->end(reason, true);
}

std::size_t FormRegistry::running() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t n = 0;
    for (const auto& [id, form] : m_forms)
        if (!form->finished()) ++n;
    return n;
}

void FormRegistry::housekeeping() {
    auto lastTick = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kTick, [this] { return m_stopping; });
        if (m_stopping) break;
        const auto now = std::chrono::steady_clock::now();
        std::vector<std::shared_ptr<FormProcess>> forms;
        for (const auto& [id, form] : m_forms) forms.push_back(form);
        lock.unlock();

        for (auto& form : forms) {
            form->expireWaiters(now);
            if (!form->ended() && !form->busy() && now - form->lastUse() >= m_limits.idleTimeout)
                form->end("inatividade", false);
            // An ended form's child sends its filters and exits on its own;
            // one that has not after a while is killed.
            if (form->ended() && !form->poll() && now - form->endedAt() >= kGrace) form->reap({});
        }
        if (m_tick && now - lastTick >= std::chrono::seconds(1)) {
            lastTick = now;
            m_tick();
        }

        lock.lock();
        for (auto it = m_forms.begin(); it != m_forms.end();) {
            const auto& form = it->second;
            if (form->ended() && form->finished()) {
                auto [at, fresh] = m_endedAt.emplace(it->first, now);
                if (!fresh && now - at->second >= m_limits.keepEnded) {
                    m_endedAt.erase(at);
                    it = m_forms.erase(it);
                    continue;
                }
            }
            ++it;
        }
    }
}

}  // namespace pla013::web
