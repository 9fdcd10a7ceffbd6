#pragma once
// "CUS00000.rdmCustProd": product cost data. ListaTipoCusto() returns one
// packet, NRTIPOCUST (integer) and NMTIPOCUST (string 40), a row per cost
// type ordered by number.

#include "platform/appserver/RemoteModule.h"

namespace pla013::appserver {

class CostModule final : public RemoteModule {
public:
    CostModule();
    const std::string& name() const override;
    const std::vector<RemoteMethod>& methods() const override;

    static host::Variant listaTipoCusto(MethodCall& call);

private:
    std::string m_name;
    std::vector<RemoteMethod> m_methods;
};

}  // namespace pla013::appserver
