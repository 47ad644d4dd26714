// Data entry forms: validation, the token, exactly-once writes, post-redirect-get, choices,
// and what a send that writes nothing says.
#include "common/files.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

class Forms : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.ready()); }

    // How many customers the database holds, as the tables page counts them.
    int customers() {
        const QString page = browser.get("page=tables").body;
        return page.section(">customers</a></td><td>Table</td><td class=\"num\">", 1)
            .section('<', 0, 0)
            .toInt();
    }

    QHash<QString, QString> newCustomer(const QString& name) {
        return {{"f.name", name},
                {"f.city", "Graz"},
                {"f.country", QString::fromUtf8("Österreich")},
                {"f.email", "new@example.com"}};
    }

    ExampleApplication app;
    Browser browser{app};
};

} // namespace

TEST_F(Forms, ValidationMessagesStandNextToTheFieldsAndValuesAreKept) {
    const Page form = browser.get("page=form&name=newcustomer");
    const QString nonce = InputValue(form.body, "formnonce");
    const Page invalid = browser.post(FormBody(form.body, {{"f.name", "  "},
                                                           {"f.city", QString::fromUtf8("Zürich")},
                                                           {"f.country", "Schweiz"},
                                                           {"f.email", "not an address"}}));
    EXPECT_EQ(invalid.status, 200);
    EXPECT_TRUE(invalid.redirect.isEmpty());
    EXPECT_TRUE(invalid.body.contains("Please correct the marked fields."));
    EXPECT_TRUE(support::ContainsInOrder(
        invalid.body,
        {"<div class=\"field invalid\"><label for=\"ff1\">Name", "Please fill in this field.",
         QString::fromUtf8("value=\"Zürich\""), "value=\"Schweiz\"",
         "<div class=\"field invalid\"><label for=\"ff4\">E-mail", "value=\"not an address\"",
         "Please enter an e-mail address"}));
    // The same form again: its nonce stays, so a later valid post is still saved once.
    EXPECT_EQ(InputValue(invalid.body, "formnonce"), nonce);
    EXPECT_EQ(customers(), 12);

    const Page stock = browser.get("page=form&name=stock");
    const struct {
        QString product;
        QString count;
        const char* message;
    } cases[] = {
        {"17", "-1", "The smallest value allowed is 0."},
        {"17", "1000001", "The largest value allowed is 1000000."},
        {"17", "2.5", "Please enter a whole number."},
        {"17", "", "Please fill in this field."},
        {"999", "5", "Please choose one of the values offered."},
        {"17", "5\x01", "The value holds control characters that cannot be stored."},
    };
    for (const auto& c : cases) {
        const Page page =
            browser.post(FormBody(stock.body, {{"f.product", c.product}, {"f.stock", c.count}}));
        EXPECT_TRUE(page.body.contains(c.message)) << c.message;
        EXPECT_TRUE(page.redirect.isEmpty()) << c.message;
    }
    const Page tooLong = browser.post(FormBody(form.body, newCustomer(QString(101, 'x'))));
    EXPECT_TRUE(tooLong.body.contains("At most 100 characters, please."));
    EXPECT_EQ(customers(), 12);
}

TEST_F(Forms, APostWithoutTheRightTokenIsRefusedAndWritesNothing) {
    const Page form = browser.get("page=form&name=newcustomer");
    const Page stock = browser.get("page=form&name=stock");
    const QString nonce = InputValue(form.body, "formnonce");
    const QString token = InputValue(form.body, "formtoken");
    // Only the POST form carries the token.
    EXPECT_FALSE(browser.get("page=query&name=LowStock").body.contains("formtoken"));

    QHash<QString, QString> fields = newCustomer("Mallory");
    const QString attempts[] = {
        // no token at all, as a page of another site would post
        "page=form&name=newcustomer&f.name=Mallory&f.city=X&f.country=Y",
        FormBody(form.body, fields).replace(token, QString(64, 'a')),
        // a valid token of another form, or of another nonce
        FormBody(form.body, fields).replace(token, InputValue(stock.body, "formtoken")),
        FormBody(form.body, fields).replace(nonce, InputValue(stock.body, "formnonce")),
        FormBody(form.body, fields).remove("formtoken=" + token),
    };
    for (const QString& body : attempts) {
        const Page page = browser.post(body);
        EXPECT_EQ(page.status, 403) << body.toStdString();
        EXPECT_TRUE(page.redirect.isEmpty());
        EXPECT_TRUE(page.body.contains("This form was not saved"));
        // Nothing typed is lost: the form comes back with its values and a token of now.
        EXPECT_EQ(InputValue(page.body, "f.name"), "Mallory");
        EXPECT_FALSE(InputValue(page.body, "formtoken").isEmpty());
    }
    // A server started since (another secret) does not take the old form either.
    browser.secret = "the next run's secret";
    EXPECT_EQ(browser.post(FormBody(form.body, fields)).status, 403);
    EXPECT_EQ(customers(), 12);
}

TEST_F(Forms, APostIsSavedOnceAndRedirectedToWhatWasSaved) {
    const Page form = browser.get("page=form&name=newcustomer");
    const QString body = FormBody(form.body, newCustomer("Anna Berger"));
    const Page saved = browser.post(body);
    ASSERT_FALSE(saved.redirect.isEmpty());
    EXPECT_TRUE(saved.body.isEmpty());
    EXPECT_EQ(saved.redirect,
              "/?page=saved&form=newcustomer&entry=" + InputValue(form.body, "formnonce"));

    const Page shown = browser.get(QueryOf(saved.redirect));
    EXPECT_TRUE(support::ContainsInOrder(
        shown.body, {"<h1>New customer</h1>", "The new customer has been saved.",
                     "<th>Name</th><td>Anna Berger</td>", QString::fromUtf8("<td>Österreich</td>"),
                     "Record number: 13", "Fill in the form again"}));
    // A double click, a retry, a resubmission: the same redirect, nothing written again.
    EXPECT_EQ(browser.post(body).redirect, saved.redirect);
    EXPECT_EQ(browser.post(body).redirect, saved.redirect);
    EXPECT_EQ(customers(), 13);
    const Page row = browser.get("page=row&table=customers&k.id=13");
    EXPECT_TRUE(row.body.contains(QString::fromUtf8("<td>Österreich</td>")));
    // A new rendering of the form is a new entry.
    EXPECT_FALSE(browser
                     .post(FormBody(browser.get("page=form&name=newcustomer").body,
                                    newCustomer("Anna Berger")))
                     .redirect.isEmpty());
    EXPECT_EQ(customers(), 14);
}

TEST_F(Forms, ChoicesComeFromAQueryAndTheChosenValueIsWritten) {
    const Page stock = browser.get("page=form&name=stock");
    EXPECT_TRUE(support::ContainsInOrder(
        stock.body, {"<select id=\"ff1\" name=\"f.product\" required>", "(please choose)",
                     "<option value=\"3\">Apple juice</option>",
                     "<option value=\"17\">Honey</option>", "</select>"}));
    EXPECT_TRUE(stock.body.contains("<input type=\"number\" id=\"ff2\" name=\"f.stock\" required "
                                    "step=\"1\" min=\"0\" max=\"1000000\" value=\"\">"));
    const Page saved = browser.post(FormBody(stock.body, {{"f.product", "17"}, {"f.stock", "7"}}));
    ASSERT_FALSE(saved.redirect.isEmpty());
    EXPECT_TRUE(browser.get("page=row&table=products&k.id=17")
                    .body.contains("<tr><th>in_stock</th><td>7</td>"));
    // The kept value is selected when the form comes back with a message.
    const Page again = browser.post(FormBody(browser.get("page=form&name=stock").body,
                                             {{"f.product", "17"}, {"f.stock", "x"}}));
    EXPECT_TRUE(again.body.contains("<option value=\"17\" selected>Honey</option>"));

    // A free choice offers the known values and takes a new one.
    const Page customer = browser.get("page=form&name=newcustomer");
    EXPECT_TRUE(customer.body.contains("<option value=\"Portugal\">Portugal</option>"));
    EXPECT_TRUE(customer.body.contains("list=\"ff3-list\""));
}

// A re-send of an entry already written shows what is stored, and the values it brought when
// they differ, never those as saved.
TEST_F(Forms, ACorrectedResendOfASavedEntryIsNotShownAsSaved) {
    const Page form = browser.get("page=form&name=newcustomer");
    const Page saved = browser.post(FormBody(form.body, newCustomer("Anna Berger")));
    ASSERT_FALSE(saved.redirect.isEmpty());

    // The same entry corrected: nothing written, the stored values shown, the new ones named.
    const Page again = browser.post(FormBody(form.body, newCustomer("Anna Bergmann")));
    EXPECT_EQ(again.redirect, saved.redirect);
    EXPECT_TRUE(support::ContainsInOrder(
        browser.get(QueryOf(again.redirect)).body,
        {"The new customer has been saved.", "this time nothing was written",
         "<th>Name</th><td>Anna Berger</td>", "Record number: 13",
         "These values you sent last were not written", "<th>Name</th><td>Anna Bergmann</td>",
         "To change it", "Fill in the form again"}));

    // Once the entry is no longer kept (200 later entries, or a restart), the same.
    browser.application()->remove("WebApp.SavedEntries");
    const Page late = browser.post(FormBody(form.body, newCustomer("Anna Bergfeld")));
    EXPECT_EQ(late.redirect, saved.redirect);
    const QString shown = browser.get(QueryOf(late.redirect)).body;
    EXPECT_TRUE(support::ContainsInOrder(
        shown, {"this time nothing was written", "The values it was saved with are no longer",
                "Record number: 13", "These values you sent last were not written",
                "<th>Name</th><td>Anna Bergfeld</td>"}));
    EXPECT_FALSE(shown.contains("Anna Berger<"));
    EXPECT_EQ(customers(), 13);
    EXPECT_TRUE(
        browser.get("page=row&table=customers&k.id=13").body.contains("<td>Anna Berger</td>"));
}

// Only a POST writes; an error reply says the entry was not saved.
TEST_F(Forms, WhatIsNotWrittenIsSaidSo) {
    const Page form = browser.get("page=form&name=newcustomer");
    const Page asAddress = browser.get(FormBody(form.body, newCustomer("Getty")));
    EXPECT_EQ(asAddress.status, 200);
    EXPECT_TRUE(asAddress.redirect.isEmpty());
    EXPECT_TRUE(asAddress.body.contains("Nothing was saved: a form is saved only when it is sent "
                                        "with its button"));
    EXPECT_FALSE(asAddress.body.contains("Getty"));
    EXPECT_NE(InputValue(asAddress.body, "formnonce"), InputValue(form.body, "formnonce"));
    EXPECT_EQ(customers(), 12);
}

// A value that is not UTF-8 text (here a character cut off) is refused, never cut.
TEST_F(Forms, AValueThatIsNotUtf8IsRefused) {
    const Page form = browser.get("page=form&name=newcustomer");
    const Page cut = browser.post(FormBody(form.body, {}) + "&f.name=caf%E9&f.city=Graz" +
                                  "&f.country=Austria&f.email=");
    EXPECT_TRUE(cut.redirect.isEmpty());
    EXPECT_TRUE(cut.body.contains("The value is not UTF-8 text"));
    EXPECT_TRUE(cut.body.contains(QString::fromUtf8("value=\"caf\xEF\xBF\xBD\"")));
    EXPECT_EQ(customers(), 12);
}

TEST(FormErrors, AnErrorReplyIsADefiniteFailure) {
    ExampleApplication app("<Query name=\"ClashingCustomer\"><Parameter name=\"name\"/>"
                           "<Sql>INSERT INTO customers (id, name, city, country) "
                           "VALUES (1, :name, 'x', 'y')</Sql></Query>");
    ASSERT_TRUE(app.ready());
    common::SaveFile(app.folder() + "/forms/clash.xml",
                     "<Form><Title>Clash</Title><Field name=\"name\"><Label>Name</Label></Field>"
                     "<Write query=\"ClashingCustomer\"><Parameter name=\"name\" field=\"name\"/>"
                     "</Write></Form>");
    Browser browser(app);
    const Page form = browser.get("page=form&name=clash");
    const Page refused = browser.post(FormBody(form.body, {{"f.name", "Clash"}}));
    EXPECT_TRUE(refused.redirect.isEmpty());
    EXPECT_TRUE(
        support::ContainsInOrder(refused.body, {"The data server reported an error: DatabaseError",
                                                "Your entry was not saved", "value=\"Clash\""}));
    EXPECT_FALSE(refused.body.contains("may or may not"));
}

// A form file reached through a link that leads out of forms/ is not read, as pages are not.
TEST(FormErrors, AFormBehindALinkOutOfTheFolderIsNotRead) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    const QString forms = app.folder() + "/forms";
    const QString outside = app.folder() + "/outside.xml";
    ASSERT_TRUE(QFile::copy(forms + "/newcustomer.xml", outside));
    ASSERT_TRUE(QFile::link(outside, forms + "/linked.xml"));
    ASSERT_TRUE(QFile::link(forms + "/newcustomer.xml", forms + "/alias.xml"));
    Browser browser(app);
    EXPECT_EQ(browser.get("page=form&name=linked").status, 404);
    EXPECT_EQ(browser.get("page=form&name=alias").status, 200);
    const QString list = browser.get("page=forms").body;
    EXPECT_FALSE(list.contains("name=linked"));
    EXPECT_TRUE(list.contains("name=alias"));
}
