#include "platform/appserver/BranchScope.h"

#include <cctype>

namespace pla013::appserver {

BranchList::BranchList(const std::string& text) {
    if (text == "T") {
        all = true;
        return;
    }
    std::string token;
    for (char c : text + ",") {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            token += c;
        } else if (!token.empty()) {
            codes.insert(token);
            token.clear();
        }
    }
}

std::string BranchScope::asList() const {
    std::string out;
    for (const auto& b : branches) out += (out.empty() ? "" : ",") + b;
    return out;
}

}  // namespace pla013::appserver
