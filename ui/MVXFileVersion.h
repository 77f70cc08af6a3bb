#pragma once

#include <QObject>
#include <QString>

namespace cep {

/// Reads the version information of an executable file and shows its ten
/// standard text entries, its date and its size as properties. Only FileName
/// can be set: setting it reads the file, and the setters of every other
/// property discard the value given (as for values stored with a window's
/// design). Getting a property never reads the file. Needs no application
/// object.
class TMVXFileVersion : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString CompanyName READ CompanyName WRITE SetCompanyName)
    Q_PROPERTY(QString FileDescription READ FileDescription WRITE SetFileDescription)
    Q_PROPERTY(QString FileVersion READ FileVersion WRITE SetFileVersion)
    Q_PROPERTY(QString InternalName READ InternalName WRITE SetInternalName)
    Q_PROPERTY(QString LegalCopyright READ LegalCopyright WRITE SetLegalCopyright)
    Q_PROPERTY(QString LegalTradeMarks READ LegalTradeMarks WRITE SetLegalTradeMarks)
    Q_PROPERTY(QString OriginalFileName READ OriginalFileName WRITE SetOriginalFileName)
    Q_PROPERTY(QString ProductName READ ProductName WRITE SetProductName)
    Q_PROPERTY(QString ProductVersion READ ProductVersion WRITE SetProductVersion)
    Q_PROPERTY(QString Comments READ Comments WRITE SetComments)
    Q_PROPERTY(QString FileAge READ FileAge WRITE SetFileAge)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(quint32 FileSize READ FileSize WRITE SetFileSize)

  public:
    explicit TMVXFileVersion(QObject* owner = nullptr);

    const QString& CompanyName() const { return FCompanyName; }
    const QString& FileDescription() const { return FFileDescription; }
    const QString& FileVersion() const { return FFileVersion; }
    const QString& InternalName() const { return FInternalName; }
    const QString& LegalCopyright() const { return FLegalCopyright; }
    const QString& LegalTradeMarks() const { return FLegalTradeMarks; }
    const QString& OriginalFileName() const { return FOriginalFileName; }
    const QString& ProductName() const { return FProductName; }
    const QString& ProductVersion() const { return FProductVersion; }
    const QString& Comments() const { return FComments; }
    /// Last-write date and time, local, "dd/MM/yyyy HH:mm:ss" (even seconds;
    /// the time left out at midnight).
    const QString& FileAge() const { return FFileAge; }
    const QString& FileName() const { return FFileName; }
    quint32 FileSize() const { return FFileSize; }

    /// Blanks and control characters around `name` are dropped; an empty
    /// name clears everything, any other reads the file's version
    /// information. A file without any clears everything too.
    void SetFileName(const QString& name);

    void SetCompanyName(const QString&) {}
    void SetFileDescription(const QString&) {}
    void SetFileVersion(const QString&) {}
    void SetInternalName(const QString&) {}
    void SetLegalCopyright(const QString&) {}
    void SetLegalTradeMarks(const QString&) {}
    void SetOriginalFileName(const QString&) {}
    void SetProductName(const QString&) {}
    void SetProductVersion(const QString&) {}
    void SetComments(const QString&) {}
    void SetFileAge(const QString&) {}
    void SetFileSize(quint32) {}

  private:
    void ApplyDefaults();
    void ReadVersionInfo();
    bool AllEmpty() const;

    QString FCompanyName, FFileDescription, FFileVersion, FInternalName, FLegalCopyright,
        FLegalTradeMarks, FOriginalFileName, FProductName, FProductVersion, FComments, FFileAge,
        FFileName;
    quint32 FFileSize = 0;
};

}  // namespace cep
