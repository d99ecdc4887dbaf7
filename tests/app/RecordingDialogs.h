#pragma once
// Records what the window would show instead of opening a blocking message box.

#include "app/Dialogs.h"

#include <QStringList>

struct RecordingDialogs : dbsync::Dialogs {
    struct Shown {
        QString kind;
        QString text;
    };
    QList<Shown> shown;

    void inputCheck(const QString &text) override { shown.append({"inputCheck", text}); }
    void notice(const QString &text) override { shown.append({"notice", text}); }
    void error(const QString &text) override { shown.append({"error", text}); }
    // Questions are answered with the next of these; no when they are used up.
    QList<bool> answers;
    bool question(const QString &text) override
    {
        shown.append({"question", text});
        return !answers.isEmpty() && answers.takeFirst();
    }

    // A plan is run when the next answer says yes, as a question is answered.
    bool confirmPlan(const QString &script) override
    {
        shown.append({"plan", script});
        return !answers.isEmpty() && answers.takeFirst();
    }

    // Losses are agreed to unless a test says otherwise; what was asked is recorded.
    bool agreeToDataLoss = true;
    bool confirmDataLoss(const QStringList &losses) override
    {
        shown.append({"dataLoss", losses.join('\n')});
        return agreeToDataLoss;
    }

    QStringList texts(const QString &kind) const
    {
        QStringList out;
        for (const Shown &s : shown) {
            if (s.kind == kind)
                out.append(s.text);
        }
        return out;
    }
};
