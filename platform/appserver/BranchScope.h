#pragma once
// Which branches a signed-in operator may read, and the branch lists that
// clients send.

#include <set>
#include <string>

namespace pla013::appserver {

// The codes named by a branch list: "T" is every branch; otherwise each run
// of letters and digits is one code, so "0002,0004", "0002 0004" and
// "'0002';'0004'" name the same two and "00020004" names none of them.
struct BranchList {
    bool all = false;
    std::set<std::string> codes;

    explicit BranchList(const std::string& text);
    bool contains(const std::string& code) const { return all || codes.count(code) > 0; }
};

// OPERADOR.IDTODASFILI = 'S' reads every branch; otherwise the branches of
// OPERFILI.
struct BranchScope {
    bool all = false;
    std::set<std::string> branches;

    // An empty code names no branch: it asks for nothing of a branch's own.
    bool permits(const std::string& branch) const { return all || branch.empty() || branches.count(branch) > 0; }
    // "0002,0003": the list that stands for "all branches" for this scope.
    std::string asList() const;
};

// The operator a call runs for.
struct Caller {
    std::string operatorCode;
    std::string operatorName;
    BranchScope scope;
};

}  // namespace pla013::appserver
