"""Steps of the person walk about labels: foreign keys shown by the label of the row they
refer to, and a query parameter of a table offered as a choice of its rows by name."""
import re

# The checks of the walk that runs these steps (browser_test.py, imported once it has them).
from __main__ import check, check_equal


def _key_links(page):
    """(text, title) of every link in the data table's cells."""
    return [tuple(link) for link in page.evaluate("""[...document.querySelectorAll(
        "table.data tbody td a")].map(a => [a.innerText.trim(), a.title])""")]


def labels_on_grids(walk):
    page = walk.page
    walk.menu("Tables")
    page.click("table.data a", "order_items")
    links = _key_links(page)
    check(links, "the order_items page shows no key links")
    bare = [text for text, _ in links if re.fullmatch(r"\d+", text)]
    check(not bare, f"bare ids shown where a label exists: {bare[:5]}")
    products = {text: title for text, title in links if text == "Espresso beans"}
    check_equal(products, {"Espresso beans": "2"}, "the product link with its key as title")
    page.click('table.data td a[href*="table=products"]', "Espresso beans")
    check_equal(walk.heading(), "Row of products", "heading of the product's row page")
    check("Espresso beans" in page.text("table.record"), "the product's row page")


def query_parameter_by_name(walk):
    page = walk.page
    walk.menu("Queries")
    page.click("table.data a", "CustomerOrders")
    options = page.evaluate("""[...document.querySelectorAll("form.entry select option")]
        .map(o => [o.value, o.innerText.trim()])""")
    offered = {text: value for value, text in options}
    check_equal(offered.get("Chloé Martin"), "3", "Chloé Martin offered by name, her key sent")
    check(not any(re.fullmatch(r"\d+", text) for text in offered),
          f"customers offered by id: {sorted(offered)[:5]}")
    page.evaluate("""(() => { const s = document.querySelector("form.entry select");
        s.value = "3"; })()""")
    page.click("form.entry button", "Run")
    check("p.customer=3" in page.url(), f"the chosen customer's key was not sent: {page.url()}")
    _, rows = walk.data_table()
    check_equal([r["id"] for r in rows], ["2", "7"], "the orders of Chloé Martin")


STEPS = [labels_on_grids, query_parameter_by_name]
