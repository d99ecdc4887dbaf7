#include "app/Form43.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TForm43 form;
    form.show();
    return app.exec();
}
