// qv_helpfiles LANGUAGE_FOLDER HELP_FOLDER
//
// Writes the help of every language file <code>.xml in LANGUAGE_FOLDER as the pages
// HELP_FOLDER/<code>/*.html (what was in HELP_FOLDER goes). The build runs it on the
// program's language files, so the help ships with the program in every language it speaks.

#include "common/xml.h"
#include "webapp/help/helpbook.h"
#include "webapp/rendering/labels.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <pugixml.hpp>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "qv_helpfiles: %s\n", qUtf8Printable(message));
    return 1;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_helpfiles LANGUAGE_FOLDER HELP_FOLDER\n");
        return 2;
    }
    const QDir languages(QFile::decodeName(argv[1]));
    const QString help = QFile::decodeName(argv[2]);
    const QStringList files =
        languages.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return fail(QStringLiteral("no language files in ") + languages.path());
    QDir(help).removeRecursively();
    for (const QString& name : files) {
        pugi::xml_document document;
        if (!common::LoadXmlFile(document, languages.filePath(name)))
            return fail(QStringLiteral("cannot read ") + languages.filePath(name));
        const QString folder = help + QLatin1Char('/') + QFileInfo(name).completeBaseName();
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("cannot make ") + folder);
        for (const webapp::HelpFile& page :
             webapp::HelpBook(webapp::Labels(document.document_element())))
            if (!write(folder + QLatin1Char('/') + page.name, page.html))
                return fail(QStringLiteral("cannot write ") + folder + QLatin1Char('/') +
                            page.name);
    }
    return 0;
}
