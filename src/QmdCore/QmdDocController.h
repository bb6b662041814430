#ifndef QMDDOCCONTROLLER_H
#define QMDDOCCONTROLLER_H

#include "QmdController.h"

#include <QFile>

#include <functional>
#include <memory>

class QmdPropertyListExporter;
class QmdPropertyListImporter;

// The controller of a document that lives in a file: a current file name, and save, load and
// template-load requests that report how they ended. How the bytes are written and read is up
// to the save and load overrides.
class QmdDocController : public QmdController
{
    Q_OBJECT

public:
    explicit QmdDocController(QObject* parent = nullptr);
    ~QmdDocController() override;

    QString fileName() const;

public slots:
    QmdRequestId requestSave(const QString& fileName);
    QmdRequestId requestLoad(const QString& fileName);
    QmdRequestId requestLoadTemplate(const QString& fileName);

signals:
    void fileSaved(const QString& fileName, QmdRequestId rid);
    void fileLoaded(const QString& fileName, QmdRequestId rid);
    void templateLoaded(const QString& fileName, QmdRequestId rid);
    void fileSaveError(const QString& fileName, QFile::FileError error, QmdRequestId rid);
    void fileLoadError(const QString& fileName, QFile::FileError error, QmdRequestId rid);
    void templateLoadError(const QString& fileName, QFile::FileError error, QmdRequestId rid);
    void fileNameChanged(const QString& fileName, QmdRequestId rid);

protected:
    // Called inside the running request, with the model locked. Return QFile::NoError only
    // when the whole document was written or read.
    virtual QFile::FileError save(const QString& fileName, QmdRequestId rid);
    virtual QFile::FileError load(const QString& fileName, QmdRequestId rid);

    // For save and load overrides that keep the document in a property-list file. The
    // factories make the writer or reader (a subclass, when the document converts its values)
    // for a device; without one the plain writer or reader is used.
    typedef std::function<std::unique_ptr<QmdPropertyListExporter>(QIODevice*)> ExporterFactory;
    typedef std::function<std::unique_ptr<QmdPropertyListImporter>(QIODevice*)> ImporterFactory;

    // Writes the subtree at item to fileName. An existing file without write permission for
    // owner, user or group is refused. The document goes to a temporary file beside the
    // target, which replaces the target only once the whole document was written: a failed
    // save never leaves a truncated file behind.
    QFile::FileError savePropertyList(const QString& fileName,
                                      const ExporterFactory& makeExporter = ExporterFactory(),
                                      const QmdIndex& item = QmdIndex());
    // Reads fileName into the model with the model's signals blocked. The whole file is
    // checked before the model changes: a file that is not a property list the reader accepts
    // leaves the model as it was and gives QFile::ReadError.
    QFile::FileError loadPropertyList(const QString& fileName,
                                      const ImporterFactory& makeImporter = ImporterFactory());

private:
    enum Mode { SaveMode = 0, LoadMode = 1, TemplateMode = 2 };
    QmdRequestId runFileRequest(const QString& fileName, Mode mode);

    QString m_fileName;
};

#endif // QMDDOCCONTROLLER_H
