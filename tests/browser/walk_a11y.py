"""Steps of the person walk for pages everyone can use: the keyboard's way in (skip link,
focus), the menu's current entry, one heading, the icon; a table printed to PDF with the
browser's own print (no menu, no controls; the title, the filters in words, the rows); and
the same table on a phone 390 px wide, its rows as cards. The accessibility check itself runs
on every page of every walk (page.py)."""
import os
import shutil
import subprocess

PHONE = (390, 844)
MENU_ONLY = ["Administration", "Queries", "Forms", "Help"]  # words no table of orders shows


def _check(condition, message):
    if not condition:
        raise AssertionError(message)


def keyboard_and_frame(walk):
    page = walk.page
    page.open(walk.server.address + "?page=tables")
    page.press_tab()
    focused = page.evaluate("""(() => { const e = document.activeElement;
        const r = e.getBoundingClientRect();
        return {text: e.innerText, href: e.getAttribute("href"), top: r.top, height: r.height}; })()""")
    _check(focused["text"] == "Skip to content" and focused["href"] == "#main"
           and focused["top"] >= 0 and focused["height"] > 0,
           f"the first Tab does not show the skip link: {focused}")
    _check(page.evaluate("document.querySelector('main#main') !== null"), "no main#main")
    _check(page.texts('header nav a[aria-current="page"]') == ["Tables"],
           f"the menu's current entry: {page.texts('header nav a[aria-current]')}")
    _check(page.evaluate("document.querySelectorAll('h1').length") == 1, "not one h1")
    icon = page.evaluate("""(async () => { const l = document.querySelector('link[rel=icon]');
        const r = await fetch(l.href); return [r.status, r.headers.get('content-type')]; })()""")
    _check(icon == [200, "image/png"], f"the page's icon does not load: {icon}")


def printed_text(walk, address, name):
    """The text of the page at address (after the server's), as the browser prints it to the
    artefact name, read back by pdftotext."""
    pdftotext = shutil.which("pdftotext")
    _check(pdftotext, "pdftotext (poppler-utils) is not installed")
    walk.page.open(walk.server.address + address)
    path = os.path.join(walk.artefacts, name)
    walk.page.print_pdf(path)
    return subprocess.run([pdftotext, "-layout", path, "-"], capture_output=True, check=True,
                          text=True).stdout


def print_table_to_pdf(walk):
    page = walk.page
    text = printed_text(walk, "?page=table&name=orders&col1=customer_id&op1=eq&val1=3",
                        "orders-printed.pdf")
    shown = [word for word in MENU_ONLY + ["Export:", "Print view", "Rows 1 to"] if word in text]
    _check(not shown, f"the printed table shows the menu or controls {shown}:\n{text}")
    for expected in ("orders", "Printed", "customer_id equals", "ordered_on"):
        _check(expected in text, f"the printed table lacks {expected!r}:\n{text}")
    rows = [line.split()[0] for line in text.splitlines() if line.strip()[:1].isdigit()]
    _check(rows[:2] == ["2", "7"], f"the printed rows are not orders 2 and 7: {rows}\n{text}")

    # The print view: every row, the filters applied, from the table page's link.
    page.click("p.printlink a", "Print view")
    _check("page=print" in page.url(), f"the print view did not open: {page.url()}")
    _, rows = walk.data_table()
    _check([r["id"] for r in rows] == ["2", "7"], f"the print view's rows: {rows}")
    walk.screenshot("print-view.png")


def phone_layout(walk):
    page = walk.page
    page.emulate_screen(*PHONE)
    try:
        page.open(walk.server.address + "?page=table&name=order_items")
        layout = page.evaluate("""(() => {
            const td = document.querySelector("table.data tbody td[data-label]");
            return {pageWidth: document.documentElement.scrollWidth, viewport: innerWidth,
                    display: getComputedStyle(td).display,
                    label: getComputedStyle(td, "::before").content}; })()""")
        _check(layout["viewport"] == PHONE[0], f"not laid out at {PHONE[0]} px: {layout}")
        _check(layout["pageWidth"] <= PHONE[0], f"the page scrolls sideways on a phone: {layout}")
        _check(layout["display"] != "table-cell" and layout["label"] == '"order_id"',
               f"the rows are not cards of label and value: {layout}")
        walk.screenshot("phone-table.png")
        page.open(walk.server.address)
        walk.screenshot("phone-home.png")
    finally:
        page.emulate_screen(None, None)


STEPS = [keyboard_and_frame, print_table_to_pdf, phone_layout]
