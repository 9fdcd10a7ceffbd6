#pragma once
// Passwords as the catering database keeps them: argon2id hash strings
// (libsodium's crypto_pwhash_str), which carry their own salt and cost, so a
// hash made with older costs still verifies and is replaced at the next good
// sign-in (needsRehash).

#include <optional>
#include <string>

namespace pla013::appserver {

struct PasswordCost {
    unsigned long long opsLimit;
    std::size_t memLimit;
    // libsodium's interactive costs: about 64 MiB and a tenth of a second.
    static PasswordCost interactive();
    // The smallest costs libsodium takes, for tests that sign in many times.
    static PasswordCost minimum();
};

class PasswordHash {
public:
    explicit PasswordHash(PasswordCost cost = PasswordCost::interactive());

    // std::runtime_error when the hash cannot be made (out of memory).
    std::string hash(const std::string& password) const;
    bool verify(const std::string& hash, const std::string& password) const;
    // Made with other costs than this object's, or not a hash of ours.
    bool needsRehash(const std::string& hash) const;
    // Spends the time of a verification, for an operator that does not
    // exist: the answer then takes as long as for a wrong password.
    void verifyNothing(const std::string& password) const;

    // Why a new password is refused, in Portuguese; nothing when it is
    // acceptable: at least 10 characters, not the operator's code or name.
    static std::optional<std::string> weakness(const std::string& password, const std::string& operatorCode,
                                               const std::string& operatorName);

private:
    PasswordCost m_cost;
    std::string m_dummy;  // a hash of nothing in particular, for verifyNothing
};

}  // namespace pla013::appserver
