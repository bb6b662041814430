// Begins a request while another one is open on the same controller: a programming error that
// a debug build stops at. Run by tst_qmdcontroller, which expects this program to abort.
#include "QmdController.h"
#include "QmdMemModel.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QmdMemModel model(Qmd::StrDict);
    QmdController controller;
    controller.setModel(&model);
    controller.beginRequest(QmdRequestOptions(QStringLiteral("Outer")));
    controller.beginRequest(QmdRequestOptions(QStringLiteral("Inner")));
    return 0;
}
