#include "ui/MVXFileVersion.h"

#include <QFile>
#include <array>
#include <cstdio>
#include <fstream>
#include <vector>

#include "ui/VersionResource.h"

namespace cep {

namespace {

/// Delphi's Trim: every character of code 32 or less goes from both ends.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= ' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= ' ')
        --last;
    return text.mid(first, last - first);
}

/// Brazilian short date and long time; the time is left out at midnight.
QString FormatStamp(const version::TLocalStamp& s) {
    char text[32];
    if (s.hour == 0 && s.minute == 0 && s.second == 0)
        std::snprintf(text, sizeof text, "%02d/%02d/%04d", s.day, s.month, s.year);
    else
        std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", s.day, s.month, s.year,
                      s.hour, s.minute, s.second);
    return QString::fromLatin1(text);
}

/// Size in bytes of a file opened for reading; 0 when it cannot be opened.
/// Files past 4 GiB give their size modulo 2^32, as the 32-bit property did.
quint32 SizeOf(const std::string& name) {
    std::ifstream in(name, std::ios::binary | std::ios::ate);
    if (!in)
        return 0;
    const std::streamoff end = in.tellg();
    return end > 0 ? static_cast<quint32>(end) : 0;
}

}  // namespace

TMVXFileVersion::TMVXFileVersion(QObject* owner) : QObject(owner) {
    setObjectName(QStringLiteral("MVXFileVersion"));
    ApplyDefaults();
}

void TMVXFileVersion::ApplyDefaults() {
    for (QString* text : {&FCompanyName, &FFileDescription, &FFileVersion, &FInternalName,
                          &FLegalCopyright, &FLegalTradeMarks, &FOriginalFileName, &FProductName,
                          &FProductVersion, &FComments, &FFileAge})
        text->clear();
    FFileSize = 0;
}

bool TMVXFileVersion::AllEmpty() const {
    const QString all = FCompanyName + FFileDescription + FFileVersion + FInternalName +
                        FLegalCopyright + FLegalTradeMarks + FOriginalFileName + FProductName +
                        FProductVersion + FComments + FFileAge;
    return TrimBlanks(all).isEmpty() && FFileSize == 0;
}

void TMVXFileVersion::SetFileName(const QString& name) {
    FFileName = TrimBlanks(name);
    if (FFileName.isEmpty()) {
        ApplyDefaults();
        return;
    }
    ReadVersionInfo();
    if (AllEmpty())
        ApplyDefaults();
}

void TMVXFileVersion::ReadVersionInfo() {
    ApplyDefaults();
    const std::string file = QFile::encodeName(FFileName).toStdString();
    const uint32_t size = version::FileVersionInfoSize(file);
    if (size == 0)
        return;
    std::vector<unsigned char> block;
    uint16_t language = 0, codePage = 0;
    if (!version::ReadFileVersionInfo(file, size, block) ||
        !version::QueryTranslation(block, language, codePage))
        return;

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", language, codePage);
    const std::array<std::pair<const char*, QString*>, 10> entries = {{
        {"CompanyName", &FCompanyName},
        {"FileDescription", &FFileDescription},
        {"FileVersion", &FFileVersion},
        {"InternalName", &FInternalName},
        {"LegalCopyright", &FLegalCopyright},
        {"LegalTradeMarks", &FLegalTradeMarks},
        {"OriginalFilename", &FOriginalFileName},
        {"ProductName", &FProductName},
        {"ProductVersion", &FProductVersion},
        {"Comments", &FComments},
    }};
    for (const auto& [entry, property] : entries) {
        std::string text;
        if (version::QueryText(block, prefix + std::string(entry), text))
            *property = QString::fromStdString(text);
    }

    version::TLocalStamp stamp;
    if (version::FileLastWriteDos(file, stamp))
        FFileAge = FormatStamp(stamp);
    FFileSize = SizeOf(file);
}

}  // namespace cep
