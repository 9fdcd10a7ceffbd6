#pragma once
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"
#include "Variant.h"

namespace pla013::host {

// A form's message table: key-text pairs in stored order.
class TMessages : public TObject {
public:
    explicit TMessages(std::string name) : TObject(std::move(name)) {}
    void Add(const std::string& key, const std::string& text);
    // The text stored under key (keys compare without regard to case). A key
    // the table does not hold yields the empty text; the miss is logged.
    std::string Msg(const std::string& key) const;
    bool Has(const std::string& key) const;
    const std::vector<std::pair<std::string, std::string>>& Items() const { return m_items; }

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

// Fills %s and %d placeholders in order; %% gives %. A placeholder without
// an argument is left as it stands.
std::string Format(const std::string& text, const std::vector<Variant>& args);

}  // namespace pla013::host
