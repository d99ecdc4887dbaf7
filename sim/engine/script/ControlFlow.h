#pragma once
// A batch's control flow: IF <condition> statement [ELSE statement] and BEGIN ... END blocks
// over the statements Lexer splits a batch into (IF with its condition, BEGIN, END and ELSE
// each stand alone there).

#include "sim/engine/core/Internal.h"

#include <functional>

namespace sqlsim {

struct FlowNode {
    enum class Kind { Statement, If, Block };
    Kind kind = Kind::Statement;
    std::size_t stmt = 0;         // Statement, and If's condition: the statement's index
    std::vector<FlowNode> body;   // Block: its statements; If: then [, else]
};

// IF, BEGIN (of a block), END and ELSE: run by the flow, not routed as statements.
bool isFlowStatement(const Statement &st);

// The batch as a tree; throws SqlError for a batch whose blocks do not pair up, and refuses
// the constructs sqlsim does not run (WHILE, TRY...CATCH) for the whole batch, since running
// their bodies unconditionally would run half of it.
std::vector<FlowNode> planFlow(const std::vector<Statement> &statements);

// Compiled: the statement was not run (SET NOEXEC ON); an IF whose condition was not evaluated
// goes through both branches, so that a SET NOEXEC OFF in either still takes effect.
enum class Step { Ran, Failed, Stop, Compiled };
struct FlowSteps {
    std::function<Step(std::size_t)> statement;
    std::function<Step(std::size_t, bool &)> condition;  // sets whether the IF holds
};
// Runs the tree; a failed condition skips both branches, as SQL Server does.
void runFlow(const std::vector<FlowNode> &nodes, const FlowSteps &steps);

// Whether an IF statement's condition holds: the condition runs as a query's WHERE clause.
bool evalCondition(Exec &x);

}  // namespace sqlsim
