#include "QmdDocController.h"

QmdDocController::QmdDocController(QObject* parent)
    : QmdController(parent)
{
    qRegisterMetaType<QFile::FileError>("QFile::FileError");
}

QmdDocController::~QmdDocController() = default;

QString QmdDocController::fileName() const
{
    return m_fileName;
}

QmdRequestId QmdDocController::requestSave(const QString& fileName)
{
    return runFileRequest(fileName, SaveMode);
}

QmdRequestId QmdDocController::requestLoad(const QString& fileName)
{
    return runFileRequest(fileName, LoadMode);
}

QmdRequestId QmdDocController::requestLoadTemplate(const QString& fileName)
{
    return runFileRequest(fileName, TemplateMode);
}

QFile::FileError QmdDocController::save(const QString&, QmdRequestId)
{
    return QFile::NoError;
}

QFile::FileError QmdDocController::load(const QString&, QmdRequestId)
{
    return QFile::NoError;
}

QmdRequestId QmdDocController::runFileRequest(const QString& fileName, Mode mode)
{
    if (!model())
        return 0;
    const QString previousName = m_fileName;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, mode == SaveMode ? tr("Save") : tr("Load"));
    const QFile::FileError error = mode == SaveMode ? save(fileName, rid) : load(fileName, rid);
    const bool ok = error == QFile::NoError;
    if (ok) {
        if (mode != TemplateMode)
            m_fileName = fileName;
        // A document that was just read has no history to go back to.
        if (mode != SaveMode)
            directClearHistory();
        directMarkAsCleanState();
    }
    endRequest(ok ? 0 : -1, rid);

    switch (mode) {
    case SaveMode:
        if (ok)
            emit fileSaved(m_fileName, rid);
        else
            emit fileSaveError(fileName, error, rid);
        break;
    case LoadMode:
        if (ok) {
            reset();
            emit fileLoaded(m_fileName, rid);
        } else {
            emit fileLoadError(fileName, error, rid);
        }
        break;
    case TemplateMode:
        if (ok) {
            reset();
            emit templateLoaded(m_fileName, rid);
        } else {
            emit templateLoadError(fileName, error, rid);
        }
        break;
    }
    if (ok && m_fileName != previousName)
        emit fileNameChanged(m_fileName, rid);
    return rid;
}
