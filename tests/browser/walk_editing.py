"""Steps of the editing walk: an editor changes a product's price from its row page and saves;
a second session of the same editor (plain HTTP with its own session cookie) changes the row
meanwhile, so the first one's next save meets the conflict page and resolves it by saving
again; a product nobody refers to is deleted, one that order items refer to is kept with its
references listed. A reader is offered no change and a POST of theirs is refused. Runs after
the team walk's first steps, which make the accounts (steps() is handed their sign-in)."""
import html.parser
import http.cookiejar
import json
import urllib.error
import urllib.parse
import urllib.request

ESPRESSO = "?page=row&table=products&k.id=2"
SEA_SALT = "?page=row&table=products&k.id=18"  # in no order
HONEY = "?page=row&table=products&k.id=17"  # in orders 4 and 13


def _check(condition, message):
    if not condition:
        raise AssertionError(message)


class _FormFields(html.parser.HTMLParser):
    """The fields the entry form of a page sends, as a browser would send them unchanged."""

    def __init__(self):
        super().__init__()
        self.fields, self._in_form, self._select, self._textarea = {}, False, None, None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "form" and "entry" in (a.get("class") or "").split():
            self._in_form = True
        if not self._in_form or "name" not in a and tag != "option":
            return
        if tag == "input" and (a.get("type") != "checkbox" or "checked" in a):
            self.fields[a["name"]] = a.get("value", "")
        elif tag == "select":
            self._select = a["name"]
        elif tag == "option" and self._select and "selected" in a:
            self.fields[self._select] = a.get("value", "")
        elif tag == "textarea":
            self._textarea = a["name"]
            self.fields[a["name"]] = ""

    def handle_data(self, data):
        if self._textarea:
            self.fields[self._textarea] += data

    def handle_endtag(self, tag):
        if tag == "form":
            self._in_form = False
        elif tag == "select":
            self._select = None
        elif tag == "textarea":
            self._textarea = None


class Session:
    """Another browser of a signed-in user: plain HTTP requests with a session cookie of its
    own."""

    def __init__(self, address, user, password):
        self.address = address
        self._cookies = http.cookiejar.CookieJar()
        self._opener = urllib.request.build_opener(
            urllib.request.HTTPCookieProcessor(self._cookies))
        signin = self.form_fields("?page=signin", form_class="account")
        status, _ = self.post({**signin, "page": "signin", "user": user, "password": password})
        _check(status == 200 and any(c.name == "qvsession" for c in self._cookies),
               f"{user}'s second session did not sign in ({status})")

    def get(self, query):
        with self._opener.open(self.address + query) as answer:
            return answer.read().decode()

    def form_fields(self, query, form_class="entry"):
        page = self.get(query)
        parser = _FormFields()
        parser.feed(page.replace(f'<form class="{form_class}"', '<form class="entry"'))
        return parser.fields

    def post(self, fields):
        """The status and body of a POST of fields (after any redirect it answers with)."""
        body = urllib.parse.urlencode(fields).encode()
        try:
            with self._opener.open(self.address, data=body) as answer:
                return answer.status, answer.read().decode()
        except urllib.error.HTTPError as refused:
            return refused.code, refused.read().decode()


def _cell(walk, column):
    """The value the row page shows for column."""
    return walk.page.evaluate(f"""(() => {{
        const th = [...document.querySelectorAll("main table.record th")]
            .find(h => h.innerText.trim() === {json.dumps(column)});
        return th ? th.nextElementSibling.innerText.trim() : null; }})()""")


def _open_edit_form(walk, row):
    page = walk.page
    page.open(walk.server.address + row)
    page.click("main p.actions a", "Edit")
    _check(walk.heading() == "Edit a row of products", f"the edit form's heading: {walk.heading()}")


def _save(walk, price):
    walk.page.type_into(walk.field_input("unit_price"), price)
    walk.page.click("form.entry button", "Save")


def _saved(walk, price):
    _check(walk.page.text("main p.success") == "Saved", f"no note of the save: {walk.page.url()}")
    _check(_cell(walk, "unit_price") in (price, price.replace(".", ",")),
           f"the row shows unit_price {_cell(walk, 'unit_price')!r}, not {price}")


def steps(sign_in, sign_out, passwords):
    def editor_changes_a_price(walk):
        sign_in(walk, "eddie")
        _open_edit_form(walk, ESPRESSO)
        fields = walk.fields()
        _check(fields["name"]["value"] == "Espresso beans" and fields["category_id"]["value"] == "1",
               f"the form does not hold the row: {fields}")
        walk.screenshot("edit-form.png")
        _save(walk, "13.5")
        _saved(walk, "13.5")

    def second_session_meets_a_conflict(walk):
        _open_edit_form(walk, ESPRESSO)
        # Meanwhile the same editor's other browser saves another price.
        other = Session(walk.server.address, "eddie", passwords["eddie"])
        fields = other.form_fields("?page=edit&table=products&k.id=2")
        status, _ = other.post({**fields, "v.unit_price": "14"})
        _check(status == 200, f"the second session's save answered {status}")
        _save(walk, "13.9")
        page = walk.page
        _check(page.status() == 409, f"the conflict page's status: {page.status()}")
        _check("Someone else changed this row" in page.text("main p.warning"),
               f"no conflict message: {page.text('main')[:400]}")
        compared = page.evaluate("""[...document.querySelectorAll("table.conflict tr.differs")]
            .map(r => [...r.cells].map(c => c.innerText.trim()))""")
        _check(compared in ([["unit_price", "14", "13.9"]], [["unit_price", "14.0", "13.9"]]),
               f"the conflict table does not set theirs beside mine: {compared}")
        _check(walk.fields()["unit_price"]["value"] == "13.9", "my value is not kept in the form")
        walk.screenshot("edit-conflict.png")
        page.click("form.entry button", "Save")
        _saved(walk, "13.9")

    def editor_deletes_a_free_row(walk):
        page = walk.page
        page.open(walk.server.address + SEA_SALT)
        page.click("main p.actions a", "Delete")
        _check("Sea salt" in page.text("main table.record"), "the confirmation lacks the row")
        page.click("form.entry button", "Delete")
        _check(page.text("main p.success") == "The row was deleted.",
               f"no note of the delete on {page.url()}")
        _, rows = walk.data_table()
        _check("Sea salt" not in [r["name"] for r in rows], "Sea salt is still listed")

    def editor_is_refused_a_referenced_delete(walk):
        page = walk.page
        page.open(walk.server.address + HONEY)
        page.click("main p.actions a", "Delete")
        page.click("form.entry button", "Delete")
        _check(page.status() == 409 and "Other rows refer to this row" in page.text("main"),
               f"a referenced delete was not refused: {page.text('main')[:400]}")
        page.click("ul.referrers a", "order_items: 2 rows")
        _, rows = walk.data_table()
        # Order 4 and 13, shown by their label (the order's date).
        _check(sorted(r["order_id"] for r in rows) == ["2024-02-02", "2024-03-25"]
               and {r["product_id"] for r in rows} == {"Honey"},
               f"the referring order items: {rows}")
        sign_out(walk)

    def reader_changes_nothing(walk):
        page = walk.page
        sign_in(walk, "rita")
        page.open(walk.server.address + HONEY)
        offered = page.texts("main a")
        _check(not {"Edit", "Delete"} & set(offered), f"a reader is offered {offered}")
        page.open(walk.server.address + "?page=table&name=products")
        _check("New row" not in page.texts("main a"), "a reader is offered a new row")
        # The editor's form, sent from the reader's session.
        editor = Session(walk.server.address, "eddie", passwords["eddie"])
        fields = editor.form_fields("?page=edit&table=products&k.id=17")
        reader = Session(walk.server.address, "rita", passwords["rita"])
        status, _ = reader.post({**fields, "v.unit_price": "0.01"})
        _check(status == 403, f"a reader's POST answered {status}")
        page.open(walk.server.address + HONEY)
        _check(_cell(walk, "unit_price") in ("6.5", "6,5"), "the reader's POST changed the row")
        sign_out(walk)

    return [editor_changes_a_price, second_session_meets_a_conflict, editor_deletes_a_free_row,
            editor_is_refused_a_referenced_delete, reader_changes_nothing]
