#include "common/dictionary.h"
#include "common/registry.h"
#include "tests/support/programfolder.h"
#include "tests/support/registryfixture.h"

using common::CRegistry;
using common::Value;

namespace {
const QString LANGUAGE_KEY = "HKLM\\Software\\Quorvex\\1\\DefaultLanguage";

class RegistryTest : public RegistryFixture {
protected:
    CRegistry m_reg;
};
} // namespace

TEST_F(RegistryTest, RootsLiveInTheirOwnFilesUnderTheConfigFolders) {
    EXPECT_EQ(CRegistry::StoreFile("hkcu"), m_dir.filePath("home/quorvex/registry/HKCU.json"));
    EXPECT_EQ(CRegistry::StoreFile("HKEY_LOCAL_MACHINE"),
              m_dir.filePath("system/quorvex/registry/HKLM.json"));
    EXPECT_EQ(CRegistry::StoreFile("HKU"), "");

    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\Test\\Name", "user"));
    ASSERT_TRUE(m_reg.RegWrite(LANGUAGE_KEY, "de"));
    EXPECT_TRUE(support::ReadFile(CRegistry::StoreFile("HKCU")).contains("user"));
    EXPECT_FALSE(support::ReadFile(CRegistry::StoreFile("HKCU")).contains("DefaultLanguage"));
    EXPECT_EQ(m_reg.RegRead("HKEY_CURRENT_USER\\Software\\Test\\Name").string(), "user");
}

TEST_F(RegistryTest, ValuesKeepTheirTypes) {
    ASSERT_TRUE(m_reg.RegWrite(LANGUAGE_KEY, "de"));
    ASSERT_TRUE(m_reg.RegWrite("HKLM\\Software\\Test\\Count", int32_t(-5)));
    ASSERT_TRUE(m_reg.RegWrite("HKLM\\Software\\Test\\Blob", Value::Array{0, 127, 255}));
    ASSERT_TRUE(m_reg.RegWrite("HKLM\\Software\\Test\\Flag", true));
    ASSERT_TRUE(m_reg.RegWrite("HKLM\\Software\\Test\\", "default"));
    ASSERT_TRUE(m_reg.RegWrite("HKLM\\RootValue", "at the root"));

    const Value language = m_reg.RegRead(LANGUAGE_KEY);
    ASSERT_TRUE(language.isString());
    EXPECT_EQ(language.string(), "de");
    EXPECT_EQ(m_reg.RegRead("HKLM\\Software\\Test\\Count").toInt(), -5);
    const Value blob = m_reg.RegRead("HKLM\\Software\\Test\\Blob");
    ASSERT_TRUE(blob.isArray());
    ASSERT_EQ(blob.array().size(), 3u);
    EXPECT_EQ(blob.array()[2].toInt(), 255);
    EXPECT_EQ(m_reg.RegRead("HKLM\\Software\\Test\\Flag").string(), "True");
    EXPECT_EQ(m_reg.RegRead("HKLM\\Software\\Test\\").string(), "default");
    EXPECT_EQ(m_reg.RegRead("HKLM\\RootValue").string(), "at the root");

    // Rewriting keeps one value, with the new type.
    ASSERT_TRUE(m_reg.RegWrite("hklm\\software\\test\\COUNT", "five"));
    EXPECT_EQ(m_reg.RegRead("HKLM\\Software\\Test\\Count").string(), "five");
    EXPECT_EQ(m_reg.RegReadTree("HKLM\\Software\\Test\\")->count(), 4);
}

TEST_F(RegistryTest, NullForKeysThatCannotBeOpenedEmptyForMissingValues) {
    ASSERT_TRUE(m_reg.RegWrite(LANGUAGE_KEY, "de"));
    EXPECT_EQ(m_reg.RegRead("hklm\\software\\QUORVEX\\1\\defaultlanguage").string(), "de");
    EXPECT_TRUE(m_reg.RegRead("HKU\\Software\\Quorvex\\1\\DefaultLanguage").isNull());
    EXPECT_TRUE(m_reg.RegRead("HKLM").isNull());
    EXPECT_TRUE(m_reg.RegRead("HKLM\\Software\\Nothing\\Value").isNull());
    EXPECT_TRUE(m_reg.RegRead("HKLM\\Software\\\\Quorvex\\1\\DefaultLanguage").isNull());
    EXPECT_TRUE(m_reg.RegRead("HKLM\\Software\\Quorvex\\1\\Other").isEmpty());
    // A parent that exists only through its subkey opens too.
    EXPECT_TRUE(m_reg.RegRead("HKLM\\Software\\Quorvex\\Other").isEmpty());
    EXPECT_FALSE(m_reg.RegWrite("HKU\\Software\\X", "no"));
    EXPECT_FALSE(m_reg.RegWrite("nobackslash", "no"));
}

TEST_F(RegistryTest, HandWrittenFilesAreReadAndBrokenOnesAreNotOverwritten) {
    const QString file = CRegistry::StoreFile("HKLM");
    ASSERT_TRUE(support::WriteFile(
        file, R"({ "Software\\Quorvex\\1": { "DefaultLanguage": "fr", "N": {"dword": 4294967295},
                     "Odd": 12 } })"));
    EXPECT_EQ(m_reg.RegRead(LANGUAGE_KEY).string(), "fr");
    EXPECT_EQ(m_reg.RegRead("HKLM\\Software\\Quorvex\\1\\N").toInt(), -1);
    EXPECT_TRUE(m_reg.RegRead("HKLM\\Software\\Quorvex\\1\\Odd").isEmpty());

    ASSERT_TRUE(support::WriteFile(file, "{ broken"));
    EXPECT_TRUE(m_reg.RegRead(LANGUAGE_KEY).isNull());
    EXPECT_FALSE(m_reg.RegWrite(LANGUAGE_KEY, "de"));
    EXPECT_EQ(support::ReadFile(file), "{ broken");
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\Test\\Sub\\Leaf\\V", "1"));
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\Test\\Sub\\W", "2"));

    EXPECT_FALSE(m_reg.RegDeleteKey("HKCU\\Software\\Test\\Sub")); // still has a subkey
    EXPECT_FALSE(m_reg.RegDeleteKey("HKCU\\Software\\Test\\Nothing"));
    EXPECT_TRUE(m_reg.RegDeleteKey("HKCU\\Software\\Test\\Sub\\leaf"));
    EXPECT_TRUE(m_reg.RegRead("HKCU\\Software\\Test\\Sub\\Leaf\\V").isNull());
    EXPECT_EQ(m_reg.RegRead("HKCU\\Software\\Test\\Sub\\W").string(), "2");

    EXPECT_TRUE(m_reg.RegDeleteValue("HKCU\\Software\\Test\\Sub\\w"));
    EXPECT_FALSE(m_reg.RegDeleteValue("HKCU\\Software\\Test\\Sub\\W"));
    EXPECT_TRUE(m_reg.RegRead("HKCU\\Software\\Test\\Sub\\W").isEmpty());
    EXPECT_TRUE(m_reg.RegDeleteKey("HKCU\\Software\\Test\\Sub"));

    // The parent of a deleted key stays, even when only the key made it exist.
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\A\\B\\V", "1"));
    EXPECT_TRUE(m_reg.RegDeleteKey("HKCU\\A\\B"));
    EXPECT_TRUE(m_reg.RegRead("HKCU\\A\\V").isEmpty());
}

TEST_F(RegistryTest, ReadTreeNestsSubkeysBeforeValues) {
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\T\\b\\X", int32_t(1)));
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\T\\A\\Y", "y"));
    ASSERT_TRUE(m_reg.RegWrite("HKCU\\Software\\T\\Z", "z"));

    const common::DictionaryPtr tree = m_reg.RegReadTree("HKCU\\Software\\T\\");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->keys(), (QStringList{"A", "b", "Z"}));
    EXPECT_EQ(tree->item("A").dictionary()->item("Y").string(), "y");
    EXPECT_EQ(tree->item("b").dictionary()->item("X").toInt(), 1);
    EXPECT_FALSE(m_reg.RegReadTree("HKCU\\Software\\None\\"));
}
