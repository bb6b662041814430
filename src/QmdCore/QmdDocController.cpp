#include "QmdDocController.h"

#include "QmdPropertyListExporter.h"
#include "QmdPropertyListImporter.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QSignalBlocker>

#include <unistd.h>

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

// Whether the file's mode grants write permission to its owner, its group, or the current user
// (by the owner, group or other bits that apply to the user). Only the mode counts: a user
// who could write the file anyway, such as the superuser, still has a locked file refused.
static bool writePermitted(const QFileInfo& file)
{
    const QFile::Permissions mode = file.permissions();
    if (mode & (QFile::WriteOwner | QFile::WriteGroup))
        return true;
    const bool owner = file.ownerId() == uint(::geteuid());
    const bool group = file.groupId() == uint(::getegid());
    return !owner && !group && (mode & QFile::WriteOther);
}

QFile::FileError QmdDocController::savePropertyList(const QString& fileName,
                                                    const ExporterFactory& makeExporter,
                                                    const QmdIndex& item)
{
    const QFileInfo target(fileName);
    if (target.exists() && !writePermitted(target))
        return QFile::PermissionsError;

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return QFile::OpenError;
    std::unique_ptr<QmdPropertyListExporter> exporter = makeExporter
        ? makeExporter(&file)
        : std::make_unique<QmdPropertyListExporter>(model(), &file);
    if (!exporter || !exporter->writeDocument(item)) {
        file.cancelWriting();
        return QFile::WriteError;
    }
    exporter.reset();
    if (!file.commit())
        return QFile::WriteError;
    return QFile::NoError;
}

QFile::FileError QmdDocController::loadPropertyList(const QString& fileName,
                                                    const ImporterFactory& makeImporter)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QFile::OpenError;
    std::unique_ptr<QmdPropertyListImporter> importer = makeImporter
        ? makeImporter(&file)
        : std::make_unique<QmdPropertyListImporter>(model(), &file);
    if (!importer)
        return QFile::ReadError;
    const QSignalBlocker blocker(model());
    return importer->readDocument() ? QFile::NoError : QFile::ReadError;
}
