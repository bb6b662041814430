#include "KelvoApplication.h"

int main(int argc, char** argv)
{
    KelvoApplication app(argc, argv);
    return app.exec();
}
