// dbsync-demo-settings: writes a settings file for the demo through the tool's own writer, so
// that "读取数据连接参数" reads it back as if the user had saved it with "生成数据库链接文件".
//
//   dbsync-demo-settings FILE SAMPLE_ADDRESS SAMPLE_LOGIN SAMPLE_PASSWORD SAMPLE_DATABASE
//                             TARGET_ADDRESS TARGET_LOGIN TARGET_PASSWORD TARGET_DATABASE

#include "settings/ConnectionSettings.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>
#include <cstdio>
#include <exception>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 9) {
        std::fputs("usage: dbsync-demo-settings FILE SAMPLE_ADDRESS SAMPLE_LOGIN SAMPLE_PASSWORD SAMPLE_DATABASE\n"
                   "                            TARGET_ADDRESS TARGET_LOGIN TARGET_PASSWORD TARGET_DATABASE\n",
                   stderr);
        return 2;
    }
    std::array<QString, 8> fields;
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = args[qsizetype(i) + 1];
    try {
        dbsync::writeConnectionSettings(args[0], fields);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "dbsync-demo-settings: %s\n", e.what());
        return 1;
    }
    return 0;
}
