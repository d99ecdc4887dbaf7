#pragma once
// One step of a synchronisation plan: which of the window's objects runs it, its text, and
// whether it goes to the script memo before it runs.

#include <QString>
#include <QStringList>

#include <utility>

namespace dbsync::schema {

enum class StepRunner {
    ADOQuery3,    // statement in the target database (views and procedures)
    ADOQuery4,    // statement lines on the target server; names carry the database
    ADOCommand1,  // constraint drop in the target database; its text is lines.front()
};

enum class StepEcho {
    Always,       // appended to Memo1 whether or not CheckBox1 is checked
    WhenChecked,  // appended only when CheckBox1 is checked
    Never,
};

struct SyncStep {
    SyncStep() = default;
    SyncStep(StepRunner runner_, QStringList lines_, StepEcho echo_ = StepEcho::WhenChecked, QString subject_ = {})
        : runner(runner_), lines(std::move(lines_)), echo(echo_), subject(std::move(subject_))
    {
    }

    StepRunner runner = StepRunner::ADOQuery4;
    QStringList lines;  // set as the SQL text (joined by CR LF), or the command text
    StepEcho echo = StepEcho::WhenChecked;
    // What the step makes or removes ("视图 v_orders"), named in the server's error; empty
    // where the statement itself says enough.
    QString subject;
    // Runs on its own, outside the synchronisation's transaction, after what came before it
    // has been committed: a statement that reads the sample server (a copy of its structure).
    bool alone = false;

    bool operator==(const SyncStep &) const = default;
};

// Whether the step goes to Memo1, given CheckBox1.
inline bool echoes(const SyncStep &step, bool checkBox1Checked)
{
    return step.echo == StepEcho::Always || (step.echo == StepEcho::WhenChecked && checkBox1Checked);
}

}  // namespace dbsync::schema
