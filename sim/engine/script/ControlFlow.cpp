#include "sim/engine/script/ControlFlow.h"

#include "sim/engine/query/Translate.h"

namespace sqlsim {

namespace {

bool alone(const Statement &st, const char *word)
{
    return st.tokens.front().kw(word) && st.tokens[1].is(Tok::End);
}

// A batch that ends inside a block or after IF: SQL Server names its last token.
[[noreturn]] void endedEarly(const std::vector<Statement> &sts)
{
    const Statement &last = sts.back();
    syntaxError(last.tokens[last.end() - 1]);
}

FlowNode parseOne(const std::vector<Statement> &sts, std::size_t &k);

// The statement under an IF or ELSE.
FlowNode parseBody(const std::vector<Statement> &sts, std::size_t &k)
{
    if (k == sts.size())
        endedEarly(sts);
    const Statement &st = sts[k];
    if (alone(st, "end") || alone(st, "else"))
        syntaxError(st.tokens.front());
    // CREATE VIEW, PROCEDURE, FUNCTION and TRIGGER must begin their batch.
    const Token &what = st.tokens[1];
    if (st.tokens.front().kw("create") &&
        (what.kw("view") || what.kw("proc") || what.kw("procedure") || what.kw("function") || what.kw("trigger")))
        syntaxError(what);
    return parseOne(sts, k);
}

FlowNode parseOne(const std::vector<Statement> &sts, std::size_t &k)
{
    const Statement &st = sts[k];
    const Token &head = st.tokens.front();
    FlowNode node;
    node.stmt = k;
    if (alone(st, "end") || alone(st, "else"))
        syntaxError(head);
    if (head.kw("while"))
        notSupported("The WHILE statement");
    if ((head.kw("begin") || head.kw("end")) && (st.tokens[1].kw("try") || st.tokens[1].kw("catch")))
        notSupported("TRY...CATCH");
    if (alone(st, "begin")) {
        node.kind = FlowNode::Kind::Block;
        ++k;
        while (k < sts.size() && !alone(sts[k], "end"))
            node.body.push_back(parseBody(sts, k));
        if (k == sts.size())
            endedEarly(sts);
        if (node.body.empty())
            syntaxError(sts[k].tokens.front());
        ++k;
        return node;
    }
    ++k;
    if (!head.kw("if"))
        return node;
    node.kind = FlowNode::Kind::If;
    if (st.tokens[1].is(Tok::End))
        syntaxError(st.tokens[1]);
    node.body.push_back(parseBody(sts, k));
    if (k < sts.size() && alone(sts[k], "else")) {
        ++k;
        node.body.push_back(parseBody(sts, k));
    }
    return node;
}

bool runNode(const FlowNode &node, const FlowSteps &steps)
{
    switch (node.kind) {
    case FlowNode::Kind::Statement:
        return steps.statement(node.stmt) != Step::Stop;
    case FlowNode::Kind::Block:
        for (const FlowNode &child : node.body)
            if (!runNode(child, steps))
                return false;
        return true;
    case FlowNode::Kind::If: {
        bool holds = false;
        const Step s = steps.condition(node.stmt, holds);
        if (s == Step::Compiled) {
            for (const FlowNode &branch : node.body)
                if (!runNode(branch, steps))
                    return false;
            return true;
        }
        if (s != Step::Ran)
            return s != Step::Stop;
        if (holds)
            return runNode(node.body[0], steps);
        return node.body.size() < 2 || runNode(node.body[1], steps);
    }
    }
    return true;
}

}  // namespace

bool isFlowStatement(const Statement &st)
{
    return st.tokens.front().kw("if") || alone(st, "begin") || alone(st, "end") || alone(st, "else");
}

std::vector<FlowNode> planFlow(const std::vector<Statement> &statements)
{
    std::vector<FlowNode> nodes;
    for (std::size_t k = 0; k < statements.size();)
        nodes.push_back(parseOne(statements, k));
    return nodes;
}

void runFlow(const std::vector<FlowNode> &nodes, const FlowSteps &steps)
{
    for (const FlowNode &node : nodes)
        if (!runNode(node, steps))
            return;
}

bool evalCondition(Exec &x)
{
    const auto &t = x.stmt.tokens;
    Statement query;
    query.text = "SELECT 1 WHERE " + x.stmt.text.substr(t[1].begin - t[0].begin);
    query.tokens = tokenize(query.text);
    for (Token &tok : query.tokens)
        tok.line += x.stmt.line - 1;
    for (int pad = 0; pad < 6; ++pad)
        query.tokens.push_back(query.tokens.back());
    query.line = x.stmt.line;
    Exec inner{x.session, x.sink, query, x.batchText, x.index};
    Translator tr(inner);
    StoreConn &store = x.session.store();
    struct DropTemps {
        StoreConn &store;
        const Translator &tr;
        ~DropTemps()
        {
            for (const std::string &temp : tr.temps()) {
                try {
                    store.exec("DROP TABLE IF EXISTS temp." + temp);
                } catch (const StoreError &) {
                    // The connection is closing; the temp table goes with it.
                }
            }
        }
    } dropTemps{store, tr};
    bool holds = false;
    try {
        const std::string sql = tr.query(0, query.end());
        for (const std::string &step : tr.prelude())
            store.exec(step);
        holds = !runQuery(store, sql, &x.sink).rows.empty();
    } catch (const StoreError &e) {
        throw mapStoreError(e.what());
    }
    x.done();
    return holds;
}

}  // namespace sqlsim
