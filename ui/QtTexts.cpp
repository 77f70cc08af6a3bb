#include "ui/QtTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace cep {

bool InstallQtTexts(QCoreApplication& app) {
    auto* texts = new QTranslator(&app);
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    const QString folders[] = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        if (texts->load(brazil, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            app.installTranslator(texts);
            return true;
        }
    }
    delete texts;
    return false;
}

}  // namespace cep
