#pragma once

#include "common/value.h"

#include <QString>
#include <pugixml.hpp>

namespace i18n {

// Overrides from the command line ("languagefile", "languagefolder"); empty
// means none. The file override replaces the whole path of every language.
void SetLanguageOverrides(const QString& languageFileOverride,
                          const QString& languageFolderOverride);

// The folder override, or ProgramFolder()/language.
QString LanguageFolder();
// The file override, or LanguageFolder()/<code>.xml.
QString LanguageFilePath(const QString& code);
// The registry value HKLM\Software\Quorvex\<major>\DefaultLanguage as it is
// stored, or "en" when it is absent, empty or unreadable.
QString DefaultLanguage();

// Loads the language file of code and makes it the program's translation,
// releasing any earlier one. Raises common::Error 1100 "Error loading language
// file: <path>" for a missing, empty or malformed file (the earlier translation
// then stays). The code becomes CurrentLanguageCode() either way.
void LoadLanguage(const QString& code);

// The text of the first Label element below the root whose id is labelId,
// with "\n" as CR LF, "\\" as one backslash, and %1, %2... replaced by the
// elements of args (an array) or by args itself (empty args: no replacing).
// A label that is missing, or any label before a language was loaded, gives
// "[Missing label: <labelId>]". escapeXml applies XmlEscape last.
QString Translate(const QString& labelId, bool escapeXml = false, const common::Value& args = {});

// The language code last asked for by LoadLanguage ("" before).
QString CurrentLanguageCode();
// The root element of the loaded file; a null node before any load. Valid
// until the next successful LoadLanguage or UnloadLanguage.
pugi::xml_node TranslationRoot();

// Forgets the translation, the code and the overrides (for tests).
void UnloadLanguage();

} // namespace i18n
