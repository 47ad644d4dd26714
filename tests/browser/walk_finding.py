"""The finding walk: a person looks for rows on the table pages of the example application.
Searches products for part of a name, narrows them with a facet, adds an "is empty" filter,
sees the data server's refusal of a value next to its filter and corrects it in place,
changes the page size and goes to the last page, picks the columns shown and sorts by two
columns. Every state is a plain address; the accessibility check runs on every page."""
import json


def _check(condition, message):
    if not condition:
        raise AssertionError(message)


def _select(page, selector, value):
    page.evaluate(f"document.querySelector({json.dumps(selector)}).value = {json.dumps(value)}")


def _open_table(walk, name):
    walk.page.open(f"{walk.server.address}?page=table&name={name}")
    _check(walk.heading() == name, f"heading of the {name} table: {walk.heading()!r}")


def _add_filter(walk, column, op, value=""):
    """Adds a filter with the form below the active ones."""
    _select(walk.page, "#filter-new-col", column)
    _select(walk.page, "#filter-new-op", op)
    walk.page.type_into("#filter-new-val", value)
    walk.page.click("fieldset.addfilter button", "Apply")


def _column(walk, name):
    return [row[name] for row in walk.data_table()[1]]


def search_part_of_a_name(walk):
    page = walk.page
    _open_table(walk, "products")
    page.type_into("#table-search", "espr")
    page.click("form.control button", "Search")
    _check(_column(walk, "name") == ["Espresso beans"],
           f"searching products for 'espr': {_column(walk, 'name')}")
    _check("q=espr" in page.url(), f"the search is not in the address: {page.url()}")
    _check(page.value("#table-search") == "espr", "the search box lost its words")
    # Words in any order and letter case, each of them held.
    page.type_into("#table-search", "TEA green")
    page.click("form.control button", "Search")
    _check(_column(walk, "name") == ["Green tea"], f"'TEA green': {_column(walk, 'name')}")


def use_a_facet(walk):
    page = walk.page
    _open_table(walk, "products")
    facets = page.texts("section.facets h3")
    _check("category_id" in facets, f"no facet of category_id: {facets}")
    # The facet names a key by its label, as the grid does.
    page.click("section.facets li a", "Dairy (3)")
    _check(_column(walk, "category_id") == ["Dairy"] * 4,
           f"the Dairy facet shows: {_column(walk, 'category_id')}")
    _check(walk.pager() == "Rows 1 to 4 of 4", f"pager with the facet: {walk.pager()!r}")
    active = page.texts("section.facets li.active")
    _check(len(active) == 1 and active[0].startswith("Dairy (3) (4)"),
           f"the active facet: {active}")
    page.click("section.facets li.active a", "remove Dairy (3)")
    _check(walk.pager() == "Rows 1 to 18 of 18", f"the facet removed: {walk.pager()!r}")


def add_an_is_empty_filter(walk):
    page = walk.page
    _open_table(walk, "customers")
    _add_filter(walk, "email", "empty")
    _check(_column(walk, "name") == ["Dario Rossi", "Hanna Nowak"],
           f"customers without an e-mail: {_column(walk, 'name')}")
    _check(page.value("#filter1-op") == "empty", "the active filter's comparison")


def wrong_type_next_to_its_filter(walk):
    page = walk.page
    _open_table(walk, "products")
    _add_filter(walk, "in_stock", "gt", "many")
    field = page.evaluate("""(() => { const v = document.querySelector("#filter1-val");
        return {invalid: v.getAttribute("aria-invalid"),
                described: v.getAttribute("aria-describedby"),
                message: document.querySelector("#filter1-error")?.innerText ?? ""}; })()""")
    _check(field["invalid"] == "true" and field["described"] == "filter1-error"
           and "in_stock" in field["message"],
           f"the refused value is not marked next to its filter: {field}")
    _check(page.evaluate("document.querySelector('table.data') === null"),
           "a refused filter still shows a table of rows")
    walk.screenshot("finding-refused.png")
    # Corrected in place: the same filter, another value.
    page.type_into("#filter1-val", "100")
    page.click("ul.filters button", "Change")
    stock = [int(s) for s in _column(walk, "in_stock")]
    _check(stock and all(s > 100 for s in stock), f"in_stock greater than 100: {stock}")


def page_size_and_last_page(walk):
    page = walk.page
    _open_table(walk, "order_items")
    _select(page, "#page-size", "10")
    page.click("form.control button", "Show")
    _check(walk.pager().startswith("Rows 1 to 10 of 34"), f"10 rows a page: {walk.pager()!r}")
    _check(len(walk.data_table()[1]) == 10, "rows on a page of 10")
    page.click("nav.pager a", "Last \u00bb")
    _check(walk.pager().startswith("Rows 31 to 34 of 34"), f"the last page: {walk.pager()!r}")
    page.click("nav.pager a", "\u00ab First")
    _check(walk.pager().startswith("Rows 1 to 10 of 34"), f"the first page: {walk.pager()!r}")


def pick_columns(walk):
    page = walk.page
    _open_table(walk, "customers")
    page.click("details.columns summary", "Columns", navigates=False)
    page.check_accessibility()  # the picker's boxes, shown now (the key's disabled) included
    boxes = page.evaluate("""[...document.querySelectorAll("details.columns input[type=checkbox]")]
        .map(b => [b.parentElement.innerText.trim(), b.checked, b.disabled])""")
    _check(["id", True, True] in boxes, f"the key column is not kept checked: {boxes}")
    for column in ("city", "email"):
        index = [b[0] for b in boxes].index(column)
        page.click("details.columns input[type=checkbox]", index=index, navigates=False)
    page.click("details.columns button", "Show these columns")
    columns, _ = walk.data_table()
    _check(columns == ["id", "name", "country"], f"the columns picked: {columns}")


def sort_by_two_columns(walk):
    page = walk.page
    _open_table(walk, "orders")
    walk.sort_by("ordered_on")
    walk.sort_by("ordered_on")  # descending
    walk.sort_by("customer_id")  # the first key; ordered_on, descending, the second
    rows = walk.data_table()[1]
    # A customer cell shows the customer's name and keeps the key as its link's title.
    customers = page.evaluate("""(() => {
        const t = document.querySelector("table.data");
        const at = [...t.tHead.rows[0].children]
            .findIndex(c => c.innerText.trim().startsWith("customer_id"));
        return [...t.tBodies[0].rows].map(r => r.children[at].querySelector("a").title);
    })()""")
    keys = [(int(c), r["ordered_on"]) for c, r in zip(customers, rows)]
    expected = sorted(sorted(keys, key=lambda k: k[1], reverse=True), key=lambda k: k[0])
    _check(keys == expected, f"not sorted by customer_id, then ordered_on descending: {keys}")
    _check([k[1] for k in keys[:3]] == ["2024-03-12", "2024-01-19", "2024-01-08"],
           f"customer 1's orders, newest first: {keys[:3]}")
    sorts = page.evaluate("""[...document.querySelectorAll("table.data thead th")]
        .map(th => th.getAttribute("aria-sort"))""")
    _check(sorts[2] == "ascending" and sorts.count(None) == len(sorts) - 1,
           f"aria-sort of the headings: {sorts}")
    _check("sort2=ordered_on&dir2=desc" in page.url(), f"the second key: {page.url()}")
    walk.screenshot("finding-sorted.png")


STEPS = [search_part_of_a_name, use_a_facet, add_an_is_empty_filter, wrong_type_next_to_its_filter,
         page_size_and_last_page, pick_columns, sort_by_two_columns]
