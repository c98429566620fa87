// Build step: writes the template tables beside the program.
#include "data/engineerror.h"
#include "data/templates.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mktemplates <folder>\n");
        return 2;
    }
    try {
        Templates::write(QString::fromLocal8Bit(argv[1]));
    } catch (const EngineError &e) {
        std::fprintf(stderr, "mktemplates: %s\n", e.what());
        return 1;
    }
    return 0;
}
