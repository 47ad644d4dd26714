#include "common/error.h"
#include "common/files.h"
#include "common/registry.h"
#include "i18n/language.h"
#include "tests/support/programfolder.h"
#include "tests/support/registryfixture.h"

using common::Value;

namespace {
const QByteArray SAMPLE = R"(<?xml version="1.0"?>
<Texts>
  <Label id="lines">Line one\nLine two</Label>
  <Label id="slashes">a\\b \\n c\\\n</Label>
  <Label id="args">%1 of %2, %1 again</Label>
  <Label id="it's">apostrophe</Label>
  <Label id="dup">first</Label>
  <Label id="dup">second</Label>
  <Label id="Case">upper</Label>
  <Label id="amp">Tom &amp; "Jerry"</Label>
  <Group><Label id="nested">not a child of the root</Label></Group>
</Texts>)";

class LanguageTest : public RegistryFixture {
protected:
    void SetUp() override {
        RegistryFixture::SetUp();
        i18n::UnloadLanguage();
        common::SetProgramFolder(m_dir.path());
        write("language/xx.xml", SAMPLE);
    }
    void TearDown() override {
        i18n::UnloadLanguage();
        common::SetProgramFolder({});
        RegistryFixture::TearDown();
    }
    QString write(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(support::WriteFile(m_dir.filePath(name), bytes));
        return m_dir.filePath(name);
    }
};
} // namespace

TEST_F(LanguageTest, TranslateBeforeAnyLoadShowsTheMissingLabel) {
    EXPECT_EQ(i18n::Translate("mnuFile"), "[Missing label: mnuFile]");
    EXPECT_FALSE(i18n::TranslationRoot());
}

TEST_F(LanguageTest, TranslateFindsLabelsAndAppliesEscapesAndArguments) {
    i18n::LoadLanguage("xx");
    EXPECT_EQ(i18n::CurrentLanguageCode(), "xx");
    EXPECT_STREQ(i18n::TranslationRoot().name(), "Texts");

    EXPECT_EQ(i18n::Translate("lines"), "Line one\r\nLine two");
    EXPECT_EQ(i18n::Translate("slashes"), "a\\b \\n c\\\r\n");
    EXPECT_EQ(i18n::Translate("args", false, Value::Array{"3", int32_t(10)}), "3 of 10, 3 again");
    EXPECT_EQ(i18n::Translate("args", false, "one"), "one of %2, one again");
    EXPECT_EQ(i18n::Translate("args"), "%1 of %2, %1 again");
    EXPECT_EQ(i18n::Translate("it's"), "apostrophe");
    EXPECT_EQ(i18n::Translate("dup"), "first");
    EXPECT_EQ(i18n::Translate("case"), "[Missing label: case]");
    EXPECT_EQ(i18n::Translate("nested"), "[Missing label: nested]");
    EXPECT_EQ(i18n::Translate("amp"), "Tom & \"Jerry\"");
    EXPECT_EQ(i18n::Translate("amp", true), "Tom &amp; &quot;Jerry&quot;");
    EXPECT_EQ(i18n::Translate("a<b>", true), "[Missing label: a&lt;b&gt;]");
}

TEST_F(LanguageTest, BrokenFilesRaise1100AndKeepTheEarlierTranslation) {
    i18n::LoadLanguage("xx");
    write("language/empty.xml", "");
    write("language/text.xml", "not xml at all");
    write("language/bad.xml", "<Texts><Label id='x'>open</Texts>");
    write("language/noroot.xml", "<?xml version='1.0'?><!-- nothing -->");
    for (const QString code : {"missing", "empty", "text", "bad", "noroot"}) {
        try {
            i18n::LoadLanguage(code);
            ADD_FAILURE() << "loaded " << code.toStdString();
        } catch (const common::Error& e) {
            EXPECT_EQ(e.number(), common::ERR_LANGUAGE);
            EXPECT_EQ(e.description(), "Error loading language file: " +
                                           m_dir.filePath("language/" + code + ".xml"));
        }
        EXPECT_EQ(i18n::CurrentLanguageCode(), code);
        EXPECT_EQ(i18n::Translate("dup"), "first");
    }
}

TEST_F(LanguageTest, Utf16WithByteOrderMarkLoads) {
    const QString text = QString::fromUtf8("<L><Label id='x'>Grüße\\nzwei</Label></L>");
    QByteArray bytes("\xff\xfe", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    write("language/u16.xml", bytes);
    i18n::LoadLanguage("u16");
    EXPECT_EQ(i18n::Translate("x"), QString::fromUtf8("Grüße\r\nzwei"));
}

TEST_F(LanguageTest, OverridesPlaceTheFolderOrTheWholeFile) {
    EXPECT_EQ(i18n::LanguageFolder(), m_dir.filePath("language"));
    EXPECT_EQ(i18n::LanguageFilePath("de"), m_dir.filePath("language/de.xml"));

    write("other/xx.xml", "<R><Label id='where'>other folder</Label></R>");
    i18n::SetLanguageOverrides({}, m_dir.filePath("other"));
    i18n::LoadLanguage("xx");
    EXPECT_EQ(i18n::Translate("where"), "other folder");

    const QString any = write("any.xml", "<R><Label id='where'>any file</Label></R>");
    i18n::SetLanguageOverrides(any, m_dir.filePath("other"));
    EXPECT_EQ(i18n::LanguageFilePath("zz"), any);
    i18n::LoadLanguage("zz");
    EXPECT_EQ(i18n::Translate("where"), "any file");
    EXPECT_EQ(i18n::CurrentLanguageCode(), "zz");
}

TEST_F(LanguageTest, DefaultLanguageComesFromTheRegistryOrIsEnglish) {
    EXPECT_EQ(i18n::DefaultLanguage(), "en");
    const QString key = "HKLM\\Software\\Quorvex\\1\\DefaultLanguage";
    common::CRegistry reg;
    ASSERT_TRUE(reg.RegWrite(key, ""));
    EXPECT_EQ(i18n::DefaultLanguage(), "en");
    ASSERT_TRUE(reg.RegWrite(key, "DE"));
    EXPECT_EQ(i18n::DefaultLanguage(), "DE");
}
