#!/usr/bin/env python3
"""The example application in a real headless Chromium, used as a person uses it:
the home page with its style sheet and image, the tables (paged, sorted, along
a foreign key and back), a named query, a data-entry form (refused, then saved),
a CSV download, the administration page and the charts (walk_charts.py), as the
program's own account on this machine (an administrator). With --walk team, a team with accounts: the first
administrator set up through the printed address adds a reader and an editor, the
reader is refused a form, the editor saves it, and the administrator finds it in
the audit trail. With --walk finding, rows looked for on the table pages (search,
facets, filters, page size, columns, sort keys; walk_finding.py). With --walk https,
over HTTPS with the certificate websvr made
(trusted by its key): the first administrator set up, signed out and in again, with
a session cookie that is Secure, and the signed-in home page. With --walk editing, an
editor changes, deletes and is refused rows (walk_editing.py). What is checked is
what the page shows. Screenshots go into the artefacts folder.

    browser_test.py --stage STAGE_DIR --artefacts FOLDER [--walk person|team|https|editing|finding]
                    [--browser PATH] [--timeout S] [--deadline S]
Exits 77 (skipped) when no Chromium is installed.
"""
import argparse
import csv
import io
import json
import os
import signal
import sys
import tempfile
import traceback

from chromium import Chromium, find_browser
from devtools import BrowserFailure
from page import Page
from stagedserver import StagedServer
import walk_a11y
import walk_editing
import walk_finding

# The rows of the example database (dbsvr/sample/sample.sql).
SAMPLE_ROWS = {"categories": 5, "products": 18, "customers": 12, "orders": 14,
               "order_items": 34, "order_totals": 14}
PAGE_SIZE = 25
MENU = ["Home", "Tables", "Queries", "Charts", "Forms", "Administration", "Help"]


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def check_equal(actual, expected, what):
    check(actual == expected, f"{what}: expected {expected!r}, shown {actual!r}")


class Walk:
    def __init__(self, page, server, chromium, artefacts):
        self.page = page
        self.server = server
        self.chromium = chromium
        self.artefacts = artefacts
        page.after_load = self._check_labels

    def _check_labels(self):
        missing = [line for line in (self.page.text("body") or "").splitlines()
                   if "[Missing label" in line]
        check(not missing, f"a label is missing on {self.page.url()}: {missing}")

    def menu(self, entry):
        self.page.click("header nav a", entry)
        check_equal(self.page.status(), 200, f"status of the page the menu's {entry} opens")

    def heading(self):
        return self.page.text("main h1")

    def screenshot(self, name):
        self.page.screenshot(os.path.join(self.artefacts, name))

    def data_table(self):
        """The data table shown: column names (without sort marks) and rows of cell
        texts, the leading link column left out."""
        shown = self.page.evaluate("""(() => {
            const t = document.querySelector("table.data");
            const cells = r => [...r.children].map(c => c.innerText.trim());
            // A heading's sort cue (the arrow and its words for screen readers) left out.
            const heading = c => { const h = c.cloneNode(true);
                h.querySelectorAll('[aria-hidden="true"], .visually-hidden').forEach(e => e.remove());
                return h.textContent.trim(); };
            return {head: [...t.tHead.rows[0].children].map(heading),
                    rows: [...t.tBodies[0].rows].map(cells)};
        })()""")
        lead = 1 if shown["head"] and shown["head"][0] == "" else 0
        columns = [h.rstrip(" \u25b2\u25bc") for h in shown["head"][lead:]]
        return columns, [dict(zip(columns, row[lead:])) for row in shown["rows"]]

    def sort_by(self, column):
        """Clicks the heading of column in the data table."""
        columns, _ = self.data_table()
        self.page.click("table.data thead th a", index=columns.index(column))

    def pager(self):
        return self.page.text("nav.pager span")

    def fields(self):
        """The entry form's fields by label: value and the message next to it."""
        return self.page.evaluate("""Object.fromEntries(
            [...document.querySelectorAll("form.entry .field")].map(f => [
                f.querySelector("label").innerText.replace("*", "").trim(),
                {value: f.querySelector("input, select, textarea").value,
                 message: f.querySelector(".message")?.innerText ?? "",
                 invalid: f.classList.contains("invalid")}]))""")

    def field_input(self, label):
        return self.page.evaluate(f"""(() => {{
            const l = [...document.querySelectorAll("form.entry label")]
                .find(l => l.innerText.replace("*", "").trim() === {json.dumps(label)});
            return l ? "#" + l.htmlFor : null;
        }})()""") or self._no_field(label)

    def _no_field(self, label):
        raise AssertionError(f"the form shows no field {label!r}: {self.fields()}")

    def fill(self, values):
        for label, value in values.items():
            self.page.type_into(self.field_input(label), value)


def home_page(walk):
    page = walk.page
    page.open(walk.server.address)
    walk.screenshot("home.png")
    check_equal(page.status(), 200, "status of the home page")
    check_equal(page.texts("header nav a"), MENU, "menu")
    check_equal(page.evaluate("document.documentElement.lang"), "en", "page language")
    body = page.text("body")
    check("This is the home page of the Quorvex example application" in body,
          f"the home page does not show pages/home.htm: {body[:500]}")
    check(page.text("footer").strip() != "", "the footer is empty")
    # The style sheet applied: the bar's gradient and the heading's colour come from it.
    style = page.evaluate("""(() => {
        const bar = getComputedStyle(document.querySelector("header.appbar"));
        return {bar: bar.backgroundImage, display: bar.display,
                heading: getComputedStyle(document.querySelector("main h1")).color};
    })()""")
    check("linear-gradient" in style["bar"] and style["display"] == "flex",
          f"the style sheet was not applied to the menu bar: {style}")
    check_equal(style["heading"], "rgb(20, 90, 120)", "heading colour from the style sheet")
    logo = page.evaluate("""(() => { const i = document.querySelector("header img");
        return {complete: i.complete, width: i.naturalWidth, src: i.src}; })()""")
    check(logo["complete"] and logo["width"] == 96, f"the logo did not load: {logo}")


def table_paging_and_sorting(walk):
    page = walk.page
    walk.menu("Tables")
    check_equal(walk.heading(), "Tables", "heading of the tables page")
    _, tables = walk.data_table()
    check_equal({t["Name"]: int(t["Rows"]) for t in tables}, SAMPLE_ROWS, "tables and their rows")
    check_equal({t["Name"]: t["Type"] for t in tables}["order_totals"], "View", "type of a view")

    page.click("table.data a", "order_items")
    check_equal(walk.heading(), "order_items", "heading of the table page")
    check_equal(walk.pager(), "Rows 1 to 25 of 34", "pager of the first page")
    columns, first = walk.data_table()
    check_equal(columns, ["order_id", "product_id", "quantity"], "columns of order_items")
    check_equal(len(first), PAGE_SIZE, "rows on the first page")

    def quantities(rows):
        return [int(r["quantity"]) for r in rows]

    walk.sort_by("quantity")
    ascending = quantities(walk.data_table()[1])
    check(ascending == sorted(ascending) and ascending[0] == 1,
          f"sorted by quantity, the rows are not in ascending order: {ascending}")
    check_equal(page.evaluate('document.querySelectorAll("table.data thead th")[3]'
                              '.getAttribute("aria-sort")'), "ascending", "the heading's order")
    walk.sort_by("quantity")
    _, descending_page = walk.data_table()
    descending = quantities(descending_page)
    check(descending == sorted(descending, reverse=True) and descending[0] == 24,
          f"sorted again, the rows are not in descending order: {descending}")
    walk.screenshot("table.png")

    # The second page keeps the order and holds the rest of the rows, none twice.
    page.click("nav.pager a", "Next \u00bb")
    check_equal(walk.pager(), "Rows 26 to 34 of 34", "pager of the second page")
    _, second_page = walk.data_table()
    second = quantities(second_page)
    check(second == sorted(second, reverse=True) and second[0] <= descending[-1],
          f"the second page does not go on in descending order: {descending} then {second}")
    keys = {(r["order_id"], r["product_id"]) for r in descending_page + second_page}
    check_equal(len(keys), SAMPLE_ROWS["order_items"], "distinct rows on the two pages")
    page.click("nav.pager a", "\u00ab Previous")
    check_equal(walk.data_table()[1], descending_page, "the first page, shown again")


def foreign_keys(walk):
    page = walk.page
    walk.menu("Tables")
    page.click("table.data a", "orders")
    # Chloé Martin (customer 3) placed orders 2 and 7; her name in an order leads to her row.
    page.click('table.data td a[href*="table=customers"]', "Chloé Martin")
    check_equal(walk.heading(), "Row of customers", "heading of the row page")
    record = dict(zip(page.texts("table.record th"), page.texts("table.record td:nth-child(2)")))
    check_equal((record.get("name"), record.get("city")), ("Chloé Martin", "Lyon"),
                "the customer the order refers to")

    page.click("main ul a", "orders (customer_id)")
    check_equal(walk.heading(), "orders", "heading of the referring rows")
    shown = page.evaluate("""[...document.querySelectorAll("ul.filters li")].map(li =>
        [...li.querySelectorAll("select, input:not([type=hidden])")].map(e => e.value))""")
    check_equal(shown, [["customer_id", "eq", "3"]], "filter shown")
    _, orders = walk.data_table()
    check_equal([(o["id"], o["customer_id"]) for o in orders],
                [("2", "Chloé Martin"), ("7", "Chloé Martin")], "the orders of customer 3")
    page.back()
    check_equal(walk.heading(), "Row of customers", "heading after going back")
    check("Chloé Martin" in page.text("table.record"), "going back lost the customer's row")


def named_query(walk):
    page = walk.page
    walk.menu("Queries")
    _, queries = walk.data_table()
    titles = [q["Query"] for q in queries]
    check("Customers by country" in titles and "Add customer" not in titles
          and not any("Choices" in t or "AddCustomer" in t for t in titles),
          f"the read queries by their titles, no write or choice query: {titles}")
    page.click("table.data a", "Customers by country")
    check_equal(walk.heading(), "Customers by country", "heading of the query page")
    walk.fill({"Country": "France"})
    page.click("form.entry button", "Run")
    check("run=1" in page.url(), f"the query form was not sent: {page.url()}")
    _, rows = walk.data_table()
    check_equal([(r["name"], r["city"]) for r in rows],
                [("Chloé Martin", "Lyon"), ("Fatima Haddad", "Marseille")],
                "customers in France")
    check_equal(walk.pager(), "Rows 1 to 2 of 2", "the total of the result")
    check_equal(walk.fields()["Country"]["value"], "France", "the parameter kept in its field")
    page.click("table.data th a", "name")
    page.click("table.data th a", "name")
    _, rows = walk.data_table()
    check_equal([r["name"] for r in rows], ["Fatima Haddad", "Chloé Martin"],
                "sorted by name, the other way")
    check_equal(page.evaluate('document.querySelector("th[aria-sort]")?.innerText.trim()'),
                "name \u25bc", "the sorted heading")
    page.click("table.data td a", rows[0]["id"])
    check_equal(walk.heading(), "Row of customers", "where the id leads")
    check("Fatima Haddad" in page.text("table.record"), "the id led to another customer")


def data_entry_form(walk):
    page = walk.page
    walk.menu("Forms")
    check_equal(page.texts("ul.forms a"), ["New customer", "Update stock"], "forms listed")
    page.click("ul.forms a", "New customer")
    check_equal(walk.heading(), "New customer", "heading of the form")
    # Values the browser lets through but the server refuses: a city of blanks
    # only, an address without a domain.
    entered = {"Name": "Zoë Ødegaard", "City": "   ", "Country": "Norway",
               "E-mail": "zoe@localhost"}
    walk.fill(entered)
    page.click("form.entry button", "Save")
    check_equal(page.text("main p.error"), "Please correct the marked fields.", "form message")
    fields = walk.fields()
    check_equal({k: f["value"] for k, f in fields.items()}, entered, "values kept in the form")
    check_equal({k: f["message"] for k, f in fields.items() if f["invalid"]},
                {"City": "Please fill in this field.",
                 "E-mail": "Please enter an e-mail address such as name@example.com."},
                "messages next to the refused fields")
    walk.screenshot("form.png")

    walk.fill({"City": "Bergen", "E-mail": "zoe@example.no"})
    page.click("form.entry button", "Save")
    check("page=saved" in page.url() and "form=newcustomer" in page.url(),
          f"the post did not lead to the saved page: {page.url()}")
    check_equal(page.text("main p.success"), "The new customer has been saved.", "saved text")
    saved = dict(zip(page.texts("table.record th"), page.texts("table.record td")))
    check_equal(saved, {"Name": "Zoë Ødegaard", "City": "Bergen", "Country": "Norway",
                        "E-mail": "zoe@example.no"}, "what the saved page shows")
    check("Record number: 13" in page.text("main"), "the saved page gives no record number 13")

    walk.menu("Tables")
    page.click("table.data a", "customers")
    _, customers = walk.data_table()
    check_equal(customers[-1], {"id": "13", "name": "Zoë Ødegaard", "city": "Bergen",
                                "country": "Norway", "email": "zoe@example.no"},
                "the new customer in its table")


def csv_download(walk):
    page = walk.page
    # The customers table as left by the form step, sorted by name, descending.
    walk.sort_by("name")
    walk.sort_by("name")
    _, shown = walk.data_table()
    path = walk.chromium.download(lambda: page.click("p.exports a", "CSV", navigates=False))
    check_equal(os.path.basename(path), "customers.csv", "name of the downloaded file")
    with open(path, "rb") as f:
        data = f.read()
    check(data.startswith(b"\xef\xbb\xbf"), f"the CSV has no byte-order mark: {data[:20]!r}")
    text = data[3:].decode("utf-8")
    check(text.endswith("\r\n") and "\n" not in text.replace("\r\n", ""),
          f"the CSV's lines do not end in CRLF: {text[:200]!r}")
    lines = list(csv.reader(io.StringIO(text, newline="")))
    check_equal(lines[0], ["id", "name", "city", "country", "email"], "CSV header")
    # The rows as the page showed them, NULL as an empty field.
    expected = [[("" if v == "NULL" else v) for v in row.values()] for row in shown]
    check_equal(lines[1:], expected, "CSV rows against the table page")
    check_equal(lines[1][1], "Zoë Ødegaard", "first name in descending order")


def administration(walk):
    page = walk.page
    # The browser runs as the program's own account on this machine: an administrator,
    # whom the menu takes there without the desktop window's key.
    walk.menu("Administration")
    check_equal(walk.heading(), "Administration", "heading of the administration page")
    check_equal(page.text("header nav li.user"), os_account(), "the detected user in the menu")
    key = walk.server.admin_key
    page.open(f"{walk.server.address}?page=admin&key={key}")
    check_equal((page.status(), walk.heading()), (200, "Administration"), "with the key")
    records = page.evaluate("""Object.fromEntries([...document.querySelectorAll("main h2")]
        .filter(h => h.nextElementSibling?.matches("table.record"))
        .map(h => [h.innerText, Object.fromEntries([...h.nextElementSibling.rows]
            .map(r => [r.cells[0].innerText, r.cells[1].innerText]))]))""")
    server, data = records.get("Web server", {}), records.get("Data server", {})
    check_equal(server.get("Port"), str(walk.server.port), "port on the administration page")
    check_equal(data.get("Running"), "yes", "data server running")
    check(data.get("Ping", "").startswith("answered in"), f"no ping answer: {data}")
    check("WebApp.SavedEntries" in records.get("Application entries", {}),
          f"the saved entries are not among the application entries: {records}")
    check(len(page.texts("ol.trace li")) > 0, "no recent trace entries")
    walk.screenshot("admin.png")


def os_account():
    import pwd
    return pwd.getpwuid(os.geteuid()).pw_name


PASSWORDS = {"ada": "ada's long password", "rita": "rita's long password",
             "eddie": "eddie's long password"}


def sign_in(walk, user):
    page = walk.page
    page.open(f"{walk.server.address}?page=signin")
    check_equal(walk.heading(), "Sign in", "heading of the sign-in page")
    page.type_into("#user", user)
    page.type_into("#password", PASSWORDS[user])
    page.click("form.account button", "Sign in")
    check_equal(page.text("header nav li.user"), user, "the signed-in user in the menu")


def sign_out(walk):
    walk.page.click("form.signout button", "Sign out")
    check("Sign in" in walk.page.texts("header nav a"),
          f"signed out, the menu offers no sign-in: {walk.page.texts('header nav a')}")


def first_administrator(walk):
    page = walk.page
    page.open(walk.server.address)
    check_equal(page.texts("header nav a"),
                ["Home", "Tables", "Queries", "Charts", "Help", "Sign in"],
                "an anonymous visitor's menu")
    page.open(walk.server.setup_address)
    check_equal(walk.heading(), "Set up the first administrator", "heading of the set-up page")
    page.type_into("#user", "ada")
    page.type_into("#newpassword", PASSWORDS["ada"])
    page.type_into("#repeat", PASSWORDS["ada"])
    page.click("form.account button", "Create administrator")
    check_equal(walk.heading(), "Administration", "where the set-up leads")
    check_equal(page.text("header nav li.user"), "ada", "the new administrator, signed in")


def users(walk):
    page = walk.page
    page.click("main a", "Users")
    check_equal(walk.heading(), "Users", "heading of the users page")
    for name, role in (("rita", "reader"), ("eddie", "editor")):
        page.type_into("#add-user", name)
        page.evaluate(f'document.querySelector("#add-role").value = {json.dumps(role)}')
        page.type_into("#add-password", PASSWORDS[name])
        page.type_into("#add-repeat", PASSWORDS[name])
        page.click("form.entry button", "Add user")
        check(f"The user {name} has been added." in page.text("main"),
              f"adding {name} was not confirmed: {page.text('main')[:400]}")
    shown = page.evaluate("""[...document.querySelectorAll("table.users tbody tr")].map(
        r => [r.cells[0].innerText.trim(), r.querySelector("select")?.value
              ?? r.cells[1].innerText.trim()])""")
    check_equal(sorted(shown), [["ada", "admin"], ["eddie", "editor"], ["rita", "reader"]],
                "users and their roles")
    walk.screenshot("users.png")
    sign_out(walk)


def reader_is_refused_a_form(walk):
    page = walk.page
    page.open(f"{walk.server.address}?page=signin")
    walk.screenshot("signin.png")
    sign_in(walk, "rita")
    check("Forms" not in page.texts("header nav a"), "a reader's menu offers forms")
    page.open(f"{walk.server.address}?page=form&name=newcustomer")
    check_equal((page.status(), walk.heading()), (403, "Access refused"), "a form for a reader")
    sign_out(walk)


def editor_saves_a_form(walk):
    page = walk.page
    sign_in(walk, "eddie")
    walk.menu("Forms")
    page.click("ul.forms a", "New customer")
    walk.fill({"Name": "Team Entry", "City": "Oslo", "Country": "Norway",
               "E-mail": "team@example.no"})
    page.click("form.entry button", "Save")
    check_equal(page.text("main p.success"), "The new customer has been saved.", "saved text")
    sign_out(walk)


def administrator_reads_the_audit_trail(walk):
    page = walk.page
    sign_in(walk, "ada")
    walk.menu("Administration")
    page.click("main a", "Audit trail")
    check_equal(walk.heading(), "Audit trail", "heading of the audit trail")
    rows = page.evaluate("""[...document.querySelectorAll("table.data tbody tr")].map(
        r => [...r.cells].map(c => c.innerText.trim()))""")
    saved = [r for r in rows if "eddie" in r and "form" in r and "newcustomer" in r]
    check(len(saved) == 1, f"the audit trail does not show eddie's form once: {rows[:8]}")
    check(any("Team Entry" in cell for cell in saved[0]),
          f"the audit entry does not show the values written: {saved[0]}")
    for action in ("signin", "signout", "user-add"):
        check(any(action in r for r in rows), f"no {action} in the audit trail: {rows[:8]}")
    walk.screenshot("audit.png")


def signed_in_over_https(walk):
    page = walk.page
    check(walk.server.address.startswith("https://localhost:"),
          f"not served over HTTPS: {walk.server.address}")
    sign_out(walk)
    sign_in(walk, "ada")
    cookies = {c["name"]: c for c in walk.chromium.devtools.call("Storage.getCookies")["cookies"]}
    session = cookies.get("qvsession")
    check(session is not None, f"no session cookie after signing in: {sorted(cookies)}")
    check(session["secure"] and session["httpOnly"],
          f"the session cookie over HTTPS is not Secure and HttpOnly: {session}")
    page.open(walk.server.address)
    check_equal((page.evaluate("location.protocol"), page.status()), ("https:", 200),
                "the home page's protocol and status")
    check_equal(page.text("header nav li.user"), "ada", "the signed-in user on the home page")
    check("This is the home page of the Quorvex example application" in page.text("body"),
          "the home page does not show pages/home.htm")
    walk.screenshot("https-home.png")


import walk_charts  # noqa: E402 (its steps use the checks above)
import walk_labels  # noqa: E402

STEPS = [home_page, table_paging_and_sorting, foreign_keys, named_query, data_entry_form,
         csv_download, administration] + walk_a11y.STEPS + walk_labels.STEPS + walk_charts.STEPS
TEAM_STEPS = [first_administrator, users, reader_is_refused_a_form, editor_saves_a_form,
              administrator_reads_the_audit_trail]
HTTPS_STEPS = [first_administrator, signed_in_over_https]
EDITING_STEPS = [first_administrator, users] + walk_editing.steps(sign_in, sign_out, PASSWORDS)
WALKS = {"person": STEPS, "team": TEAM_STEPS, "https": HTTPS_STEPS, "editing": EDITING_STEPS,
         "finding": walk_finding.STEPS}


def walk_through(walk, steps):
    """Runs every step, each from the menu; a failed check ends its step only, a
    browser that fails ends the walk. Returns the failures."""
    failures = []
    for step in steps:
        try:
            step(walk)
        except AssertionError as failure:
            failures.append(f"{step.__name__}: {failure}")
        except BrowserFailure as failure:
            return failures + [f"{step.__name__}: {failure}"]
    return failures


def run(args, work):
    server = chromium = None
    try:
        accounts = args.walk in ("team", "https", "editing")
        https = args.walk == "https"
        server = StagedServer(args.stage, work, args.timeout,
                              user_mode="APPLICATION" if accounts else None,
                              trusted_proxies="127.0.0.1 ::1" if accounts else None,
                              https=https)
        # The made certificate is trusted as itself, by its key, as a person who imported it.
        trust = ([f"--ignore-certificate-errors-spki-list={server.certificate_spki_hash()}"]
                 if https else [])
        chromium = Chromium(args.browser, os.path.join(work, "profile"),
                            os.path.join(work, "chromium.log"), args.timeout, trust)
        downloads = os.path.join(work, "downloads")
        os.makedirs(downloads)
        chromium.allow_downloads(downloads)
        failures = walk_through(Walk(Page(chromium, args.axe), server, chromium, args.artefacts),
                                WALKS[args.walk])
    except (AssertionError, BrowserFailure) as failure:
        failures = [str(failure)]
    finally:
        if chromium:
            chromium.stop()
        if server:
            server.stop()
    if not failures:
        print(f"PASS: {server.address} in {chromium.version}: {args.walk} walk; "
              f"screenshots in {args.artefacts}")
        return 0
    if chromium:
        print(f"--- Chromium's output (end):\n{chromium.output()}")
    if server:
        print(f"--- websvr's log (end):\n{server.log()[-3000:]}\n"
              f"--- websvr's standard error:\n{server.errors()}")
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stage", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--axe", required=True, help="axe.min.js, run on every page shown")
    parser.add_argument("--walk", choices=sorted(WALKS), default="person")
    parser.add_argument("--browser", default=find_browser())
    parser.add_argument("--timeout", type=float, default=20,
                        help="the longest wait for one answer of the browser or the server")
    parser.add_argument("--deadline", type=float, default=150,
                        help="the whole test ends failing after this many seconds")
    args = parser.parse_args()
    if not args.browser:
        print("SKIP: no chromium")
        return 77
    os.makedirs(args.artefacts, exist_ok=True)

    def overdue(*_):
        raise AssertionError(f"the test did not finish within {args.deadline} s")
    signal.signal(signal.SIGALRM, overdue)
    signal.alarm(int(args.deadline))
    with tempfile.TemporaryDirectory(prefix="qv-browser-") as work:
        try:
            return run(args, work)
        except Exception:
            traceback.print_exc()
            return 1
        finally:
            signal.alarm(0)


if __name__ == "__main__":
    sys.exit(main())
