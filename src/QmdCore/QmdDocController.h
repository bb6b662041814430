#ifndef QMDDOCCONTROLLER_H
#define QMDDOCCONTROLLER_H

#include "QmdController.h"

#include <QFile>

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

private:
    enum Mode { SaveMode = 0, LoadMode = 1, TemplateMode = 2 };
    QmdRequestId runFileRequest(const QString& fileName, Mode mode);

    QString m_fileName;
};

#endif // QMDDOCCONTROLLER_H
