#include "dbsvr/statusfiles.h"

#include "common/files.h"
#include "common/xml.h"

#include <QCoreApplication>
#include <QDateTime>
#include <pugixml.hpp>

namespace dbsvr {

namespace {
void addText(pugi::xml_node parent, const char* name, const QString& text) {
    parent.append_child(name).text().set(common::ToUtf8(text).c_str());
}

void save(const pugi::xml_document& doc, const QString& path) {
    // The web server obeys them: nobody else has any business reading them.
    common::SaveFile(path, common::XmlText(doc).toUtf8(), common::FileAccess::OwnerOnly);
}
} // namespace

void WriteAliveFile(const QString& path) {
    if (path.isEmpty())
        return;
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("XML");
    addText(root, "Alive", QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
    addText(root, "Pid", QString::number(QCoreApplication::applicationPid()));
    save(doc, path);
}

void WriteMessageFile(const QString& path, const QString& type, const QString& code,
                      const QString& message) {
    if (path.isEmpty())
        return;
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("XML");
    addText(root, "Type", type);
    addText(root, "Code", code);
    addText(root, "Message", message);
    save(doc, path);
}

} // namespace dbsvr
