#pragma once
// The SQL of the remote data modules: generic SQL that SQLite and PostgreSQL
// both run. Every value is a named parameter:
//   :P_CDFILIAL      branch whose dishes and recipes are read
//   :P_CDFILIALSERV  branch of the service (standard-versus-service)
//   :P_CDSERVFILI    service code
//   :P_CDPRATOINI    first dish code, NULL for no lower bound
//   :P_CDPRATOFIN    last dish code, NULL for no upper bound
//   :P_NRTIPOCUST    cost type
//   :P_DTREFER       reference date (ISO text)
// Costs are not multiplied in SQL: each line brings its gross quantity and
// the unit cost valid at the reference date (VRCUSTO, NULL when there is
// none), so the product is computed in double precision on every engine.

#include <string>

namespace pla013::appserver::internal::sql {

// Dishes with a standard line or a local line of :P_CDFILIAL, visible to
// that branch (owner 'P' or the branch), in the range; by code, then owner.
const std::string& dishesWithLocalRecipe();
// Dishes with a standard line or a line of the service, visible to
// :P_CDFILIAL, in the range; by code, then owner.
const std::string& dishesWithServiceRecipe();
// Standard lines of the dishes visible to :P_CDFILIAL in the range, by dish
// and sequence.
const std::string& standardLines();
// Local lines of :P_CDFILIAL of the dishes visible to it, by dish and sequence.
const std::string& localLines();
// Lines of service (:P_CDFILIALSERV, :P_CDSERVFILI) of the dishes visible to
// :P_CDFILIAL, by dish and sequence.
const std::string& serviceLines();

// The branches served by the central kitchen of :P_CDFILIAL (the kitchen
// itself included); none when the branch does not exist.
const std::string& branchesOfCentral();
// Local lines of every branch of that central kitchen, of the dishes in the
// range visible to the line's branch; by branch, dish code, owner, sequence.
const std::string& localLinesOfCentral();
// Standard lines of every dish in the range, by dish and sequence.
const std::string& standardLinesInRange();

const std::string& costType();   // the cost type :P_NRTIPOCUST, if it exists
const std::string& costTypes();  // all cost types by number

}  // namespace pla013::appserver::internal::sql
