#include "TestDocumentWindow.h"

#include "QmdKelvoController.h"
#include "QmdMemModel.h"

TestDocumentWindow::TestDocumentWindow()
    : m_model(new QmdMemModel)
    , m_controller(new QmdKelvoController)
    , m_ownsController(true)
{
    m_controller->setModel(m_model);
}

TestDocumentWindow::TestDocumentWindow(QmdKelvoController* controller)
    : m_controller(controller)
{ }

TestDocumentWindow::~TestDocumentWindow()
{
    if (m_ownsController) {
        // The controller stops its threads, which read the model, before the model goes.
        delete m_controller;
        delete m_model;
    }
}

void TestDocumentWindow::setPasteTickPoint(QmdKelvo::TickPoint point)
{
    calls << QStringLiteral("setPasteTickPoint");
    pasteTickPoints << point;
}

void TestDocumentWindow::setSelectedElementIds(const QmdItemIdSet& ids)
{
    m_selection = ids;
    emit elementSelectionChanged();
}
