#pragma once
// The commands of the grid's menu that work through the schema model: the listing of indexes,
// constraints, foreign keys and alias types with its synchronisation, and synchronising every
// kind of object at once after the user has seen and accepted the whole plan.

#include <QString>

class TForm43;

namespace dbsync::objectcommands {

inline const QString kListObjects = QStringLiteral("列出索引和约束区别");
inline const QString kSyncObjects = QStringLiteral("同步所选索引和约束");
inline const QString kSyncAll = QStringLiteral("全部同步…");
inline const QString kObjectsDone = QStringLiteral("同步索引和约束完成！");
inline const QString kNothingToSync = QStringLiteral("两个数据库的全部对象相同，不需要同步");

// Each works as a command of the window: input checks first, errors thrown.
void listObjects(TForm43 &form);
void syncSelectedObjects(TForm43 &form);
void syncAll(TForm43 &form);

// The notice after 全部同步: the rounds it took, and whether anything is left.
QString syncAllNotice(int rounds, qsizetype statements, bool converged);

}  // namespace dbsync::objectcommands
