#include "host/Messages.h"

#include <algorithm>
#include <cctype>

#include "host/Ports.h"

namespace pla013::host {

namespace {
bool sameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

void TMessages::Add(const std::string& key, const std::string& text) { m_items.emplace_back(key, text); }

bool TMessages::Has(const std::string& key) const {
    return std::any_of(m_items.begin(), m_items.end(), [&](const auto& kv) { return sameKey(kv.first, key); });
}

std::string TMessages::Msg(const std::string& key) const {
    for (const auto& [k, text] : m_items)
        if (sameKey(k, key)) return text;
    if (InstalledPorts().ui) UI().Log("message table " + Name() + " has no key '" + key + "'");
    return {};
}

std::string Format(const std::string& text, const std::vector<Variant>& args) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 1 < text.size()) {
            char f = text[i + 1];
            if (f == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((f == 's' || f == 'd') && next < args.size()) {
                const Variant& a = args[next++];
                out += (f == 'd') ? std::to_string(a.toInt()) : a.toString();
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace pla013::host
