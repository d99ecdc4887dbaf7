// The window's runner without a window: its kept thread, events while it waits, abandoning.

#include "db/WorkerThreadRunner.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace dbsync;
using namespace std::chrono_literals;

namespace {

void needApplication()
{
    static int argc = 1;
    static char name[] = "db_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

Operation operation(OperationKind kind, std::function<void()> work) { return {kind, std::move(work), {}, {}}; }

TEST(WorkerThreadRunner, AbandonedLoginLeavesItsThreadAndTheNextOperationGetsAnother)
{
    needApplication();
    WorkerThreadRunner runner;
    auto release = std::make_shared<std::atomic<bool>>(false);
    Operation login = operation(OperationKind::Connect, [release] {
        while (!*release)
            std::this_thread::sleep_for(1ms);
    });
    QTimer::singleShot(100, &runner, [&] { runner.cancel(); });
    EXPECT_THROW(runner.run(login), CancelledError);
    EXPECT_EQ(abandonedOperations(), 1);

    runner.resetCancel();  // the thread still held by the login would never take this one
    std::thread::id nextThread;
    Operation next = operation(OperationKind::Query, [&] { nextThread = std::this_thread::get_id(); });
    runner.run(next);
    EXPECT_NE(nextThread, std::this_thread::get_id());
    *release = true;
    EXPECT_TRUE(waitForAbandonedOperations(5s));
}

TEST(WorkerThreadRunner, EventsRunDuringLongAndQuickWorkAndErrorsComeBack)
{
    needApplication();
    WorkerThreadRunner runner;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    Operation slow = operation(OperationKind::Execute, [] { std::this_thread::sleep_for(200ms); });
    runner.run(slow);
    EXPECT_GE(ticks, 2);

    // Many quick statements in a row still let the window paint.
    ticks = 0;
    std::set<std::thread::id> threads;
    Operation quick = operation(OperationKind::Execute, [&] { threads.insert(std::this_thread::get_id()); });
    for (const auto end = std::chrono::steady_clock::now() + 300ms; std::chrono::steady_clock::now() < end;)
        runner.run(quick);
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(threads.size(), 1u);

    Operation failing = operation(OperationKind::Query, [] { throw DbError(QStringLiteral("无效的对象名")); });
    try {
        runner.run(failing);
        ADD_FAILURE() << "no error";
    } catch (const DbError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("无效的对象名"));
    }
}

}  // namespace
