// The pages on which editors add, change and delete rows, loaded for real against a data
// server on the example: what a save writes (once), a conflict with another writer, deletes
// free and refused, and what readers may not do.
#include "adminhelpers.h"
#include "tests/support/qtprinters.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

const QString PASSWORD = QStringLiteral("a long enough password");

class RowEdit : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.ready());
        admin.userMode = "APPLICATION";
        for (const char* role : {"editor", "reader"})
            ASSERT_FALSE(
                UsersAction(admin, "user-add", role,
                            {{"role", role}, {"newpassword", PASSWORD}, {"repeat", PASSWORD}})
                    .redirect.isEmpty());
        for (Browser* b : {&editor, &reader}) {
            b->anonymous();
            b->userMode = "APPLICATION";
        }
        ASSERT_FALSE(SignIn(editor, "editor", PASSWORD).redirect.isEmpty());
        ASSERT_FALSE(SignIn(reader, "reader", PASSWORD).redirect.isEmpty());
    }

    // A product's row as its row page shows it, cell by cell.
    QString productCell(int id, const QString& column) {
        const QString page = editor.get("page=row&table=products&k.id=" + QString::number(id)).body;
        static const QRegularExpression CELL("<tr><th>([^<]*)</th><td[^>]*>([^<]*)<");
        for (const auto& m : CELL.globalMatch(page))
            if (m.captured(1) == column)
                return m.captured(2);
        return "(no " + column + ")";
    }

    // The edit form's fields of product 17 (Honey), with the given ones changed.
    static QHash<QString, QString> honey(const QHash<QString, QString>& changed) {
        QHash<QString, QString> fields = {{"v.id", "17"},
                                          {"v.category_id", "5"},
                                          {"v.name", "Honey"},
                                          {"v.unit_price", "6.5"},
                                          {"v.in_stock", "20"}};
        fields.insert(changed);
        return fields;
    }

    ExampleApplication app;
    Browser admin{app};
    Browser editor{app};
    Browser reader{app};
};

} // namespace

TEST_F(RowEdit, TheFormsAreMadeFromTheTableAndOfferTheReferencedRowsByLabel) {
    const Page edit = editor.get("page=edit&table=products&k.id=17");
    ASSERT_EQ(edit.status, 200) << edit.body.toStdString();
    EXPECT_TRUE(support::ContainsInOrder(
        edit.body,
        {"<h1>Edit a row of products</h1>", "name=\"o.unit_price\" value=\"6.5\"",
         // The key is shown, never sent: the rows that point at it stay with it.
         "<input type=\"text\" id=\"rf1\" readonly value=\"17\">",
         "<select id=\"rf2\" name=\"v.category_id\" required>", "<option value=\"2\">Bakery",
         "<option value=\"5\" selected>Pantry</option>",
         "name=\"v.name\" required rows=\"3\">Honey</textarea>",
         "type=\"number\" id=\"rf4\" name=\"v.unit_price\" required step=\"any\" value=\"6.5\"",
         "type=\"number\" id=\"rf5\" name=\"v.in_stock\" step=\"1\" value=\"20\""}))
        << edit.body.toStdString();
    // The new row's id is the database's to give; a column with a default is not required.
    const Page fresh = editor.get("page=new&table=products");
    ASSERT_EQ(fresh.status, 200);
    EXPECT_FALSE(fresh.body.contains("name=\"v.id\""));
    EXPECT_TRUE(fresh.body.contains("<option value=\"1\">Beverages</option>"));
    EXPECT_TRUE(fresh.body.contains("<h1>New row of products</h1>"));

    // A view, an unknown table and a row that is not there have no form.
    EXPECT_EQ(editor.get("page=edit&table=order_totals&k.order_id=1").status, 404);
    EXPECT_EQ(editor.get("page=new&table=nothing").status, 404);
    EXPECT_EQ(editor.get("page=edit&table=products&k.id=999").status, 404);
}

TEST_F(RowEdit, ASaveIsWrittenOnceAuditedAndShownOnTheRowPage) {
    const Page form = editor.get("page=edit&table=products&k.id=17");
    const QString body = FormBody(form.body, honey({{"v.unit_price", "7.25"}}));
    const Page saved = editor.post(body);
    EXPECT_EQ(saved.redirect, "/?page=row&table=products&k.id=17&note=saved");
    const Page row = Follow(editor, saved);
    EXPECT_TRUE(row.body.contains("<p class=\"success\" role=\"status\">Saved</p>"));
    EXPECT_EQ(productCell(17, "unit_price"), "7.25");

    // Sent again (a reload, a double click): the ledger knows the request, nothing is
    // compared or written twice, and the editor lands on the row as before.
    ASSERT_TRUE(app.runSql("UPDATE products SET in_stock = 21 WHERE id = 17"));
    const Page again = editor.post(body);
    EXPECT_EQ(again.redirect, saved.redirect) << again.body.toStdString();
    EXPECT_EQ(productCell(17, "in_stock"), "21");
    const QStringList actions = Column(AuditEntries(admin, "&action=row.update"), "object");
    EXPECT_EQ(actions, QStringList{"products"});
    EXPECT_EQ(Column(AuditEntries(admin, "&action=row.update"), "user_name"),
              QStringList{"editor"});

    // A new row: empty in_stock takes its default, the page shows the row the database made.
    const Page fresh = editor.get("page=new&table=products");
    const Page added = editor.post(FormBody(fresh.body, {{"v.category_id", "5"},
                                                         {"v.name", "Maple syrup"},
                                                         {"v.unit_price", "9.9"},
                                                         {"v.in_stock", ""}}));
    EXPECT_EQ(added.redirect, "/?page=row&table=products&k.id=19&note=saved")
        << added.body.toStdString();
    EXPECT_EQ(productCell(19, "name"), "Maple syrup");
    EXPECT_EQ(productCell(19, "in_stock"), "0");
}

TEST_F(RowEdit, WrongValuesComeBackMarkedAndWriteNothing) {
    const Page form = editor.get("page=edit&table=products&k.id=17");
    const Page wrong =
        editor.post(FormBody(form.body, honey({{"v.name", ""}, {"v.unit_price", "cheap"}})));
    EXPECT_EQ(wrong.status, 400);
    EXPECT_TRUE(support::ContainsInOrder(
        wrong.body, {"role=\"alert\" tabindex=\"-1\" autofocus>Please correct the marked fields.",
                     "aria-invalid=\"true\" aria-describedby=\"rf3-message\"",
                     "<span class=\"message\" id=\"rf3-message\">Please fill in this field.",
                     "value=\"cheap\""}))
        << wrong.body.toStdString();
    // A choice the referenced table does not hold.
    const Page unknown = editor.post(FormBody(form.body, honey({{"v.category_id", "99"}})));
    EXPECT_TRUE(unknown.body.contains("Please choose one of the values offered."));
    EXPECT_TRUE(unknown.body.contains("id=\"rf1\" readonly value=\"17\""));
    // A key sent anyway changes nothing: the row keeps its key.
    const Page moved = editor.post(FormBody(form.body, honey({{"v.id", "170"}})));
    EXPECT_EQ(moved.redirect, "/?page=row&table=products&k.id=17&note=saved");
    EXPECT_EQ(editor.get("page=row&table=products&k.id=170").status, 404);
    EXPECT_EQ(productCell(17, "unit_price"), "6.5");
    EXPECT_TRUE(productCell(17, "category_id").startsWith("Pantry")); // by its label
}

TEST_F(RowEdit, AChangeMadeMeanwhileIsShownBesideTheEntryAndASecondSaveOverwritesIt) {
    const Page form = editor.get("page=edit&table=products&k.id=17");
    ASSERT_TRUE(app.runSql("UPDATE products SET unit_price = 6.9 WHERE id = 17"));
    const Page conflict = editor.post(FormBody(form.body, honey({{"v.unit_price", "7.5"}})));
    EXPECT_EQ(conflict.status, 409);
    EXPECT_TRUE(support::ContainsInOrder(
        conflict.body,
        {"Someone else changed this row after you opened it. Nothing was saved.",
         "<tr class=\"differs\"><th scope=\"row\">unit_price</th><td>6.9</td><td>7.5</td></tr>",
         "name=\"o.unit_price\" value=\"6.9\"", "name=\"v.unit_price\"", "value=\"7.5\""}))
        << conflict.body.toStdString();
    EXPECT_EQ(productCell(17, "unit_price"), "6.9");
    EXPECT_TRUE(AuditEntries(admin, "&action=row.update").isEmpty());

    // The conflict page is a new form: saved from it, the editor's value wins.
    EXPECT_NE(InputValue(conflict.body, "formnonce"), InputValue(form.body, "formnonce"));
    const Page saved = editor.post(FormBody(conflict.body, honey({{"v.unit_price", "7.5"}})));
    EXPECT_FALSE(saved.redirect.isEmpty()) << saved.body.toStdString();
    EXPECT_EQ(productCell(17, "unit_price"), "7.5");

    // The row gone meanwhile: said so, nothing written.
    const Page other = editor.get("page=edit&table=customers&k.id=4");
    ASSERT_TRUE(app.runSql("DELETE FROM customers WHERE id = 4"));
    const Page gone = editor.post(FormBody(other.body, {{"v.id", "4"},
                                                        {"v.name", "Dario"},
                                                        {"v.city", "Bologna"},
                                                        {"v.country", "Italy"},
                                                        {"v.email", ""}}));
    EXPECT_EQ(gone.status, 404);
    EXPECT_TRUE(gone.body.contains("no longer exists")) << gone.body.toStdString();
}

TEST_F(RowEdit, AFreeRowIsDeletedAndAReferencedOneIsKeptWithItsReferrersListed) {
    const Page ask = editor.get("page=delete&table=products&k.id=18");
    ASSERT_EQ(ask.status, 200);
    EXPECT_TRUE(ask.body.contains("Delete this row? This cannot be undone."));
    EXPECT_TRUE(ask.body.contains("Sea salt"));
    const Page deleted = editor.post(FormBody(ask.body, {}));
    EXPECT_EQ(deleted.redirect, "/?page=table&name=products&note=deleted")
        << deleted.body.toStdString();
    EXPECT_TRUE(Follow(editor, deleted).body.contains("The row was deleted."));
    EXPECT_EQ(editor.get("page=row&table=products&k.id=18").status, 404);
    EXPECT_EQ(Column(AuditEntries(admin, "&action=row.delete"), "detail"), QStringList{"id=18"});

    // Honey is in orders 4 and 13: the database keeps it, the page says who refers to it.
    const Page askHoney = editor.get("page=delete&table=products&k.id=17");
    const Page kept = editor.post(FormBody(askHoney.body, {}));
    EXPECT_EQ(kept.status, 409);
    EXPECT_TRUE(support::ContainsInOrder(
        kept.body,
        {"Other rows refer to this row, so the database keeps it.",
         "<a href=\"/?page=table&amp;name=order_items&amp;col1=product_id&amp;op1=eq&amp;"
         "val1=17\">order_items: 2 rows</a>"}))
        << kept.body.toStdString();
    EXPECT_EQ(productCell(17, "name"), "Honey");

    // Changed after the confirmation was shown: the row as it is now, nothing deleted.
    const Page askCustomer = editor.get("page=delete&table=customers&k.id=4");
    ASSERT_TRUE(app.runSql("UPDATE customers SET city = 'Modena' WHERE id = 4"));
    const Page changed = editor.post(FormBody(askCustomer.body, {}));
    EXPECT_EQ(changed.status, 409);
    EXPECT_TRUE(changed.body.contains("Modena"));
    EXPECT_EQ(editor.get("page=row&table=customers&k.id=4").status, 200);
}

TEST_F(RowEdit, AReaderIsOfferedNoChangeAndHisPostsAreRefused) {
    const QString row = "page=row&table=products&k.id=17";
    EXPECT_TRUE(editor.get(row).body.contains(">Edit</a>"));
    EXPECT_TRUE(editor.get("page=table&name=products").body.contains(">New row</a>"));
    EXPECT_FALSE(editor.get("page=row&table=order_totals&k.order_id=1").body.contains(">Edit</a>"));
    for (const char* query : {"page=row&table=products&k.id=17", "page=table&name=products"}) {
        const QString page = reader.get(query).body;
        EXPECT_FALSE(page.contains(">Edit</a>") || page.contains(">Delete</a>") ||
                     page.contains(">New row</a>"))
            << query;
    }
    EXPECT_EQ(reader.get("page=edit&table=products&k.id=17").status, 403);

    // The editor's own form, sent with the reader's session: refused before anything else.
    const Page form = editor.get("page=edit&table=products&k.id=17");
    const Page ask = editor.get("page=delete&table=products&k.id=18");
    EXPECT_EQ(reader.post(FormBody(form.body, honey({{"v.unit_price", "0.01"}}))).status, 403);
    EXPECT_EQ(reader.post(FormBody(ask.body, {})).status, 403);
    // The editor's form with another session's cookie is refused by its token.
    Browser otherEditor(app);
    otherEditor.anonymous();
    otherEditor.userMode = "APPLICATION";
    ASSERT_FALSE(SignIn(otherEditor, "editor", PASSWORD).redirect.isEmpty());
    EXPECT_EQ(otherEditor.post(FormBody(form.body, honey({{"v.unit_price", "0.01"}}))).status, 403);
    EXPECT_EQ(productCell(17, "unit_price"), "6.5");
    EXPECT_EQ(editor.get("page=row&table=products&k.id=18").status, 200);
}
