#include "app/Form43.h"
#include "db/Operation.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int code = 0;
    {
        TForm43 form;
        form.show();
        code = app.exec();
    }
    // A login cancelled while its server did not answer goes on until its time-out. Give it a
    // moment to end; past that, leave without running static destructors under it.
    if (!dbsync::waitForAbandonedOperations(std::chrono::seconds(3))) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
