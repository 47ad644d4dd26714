"""Steps of the person walk about charts: the Charts list from the menu, each example chart
as it is drawn (bars in order and in proportion to the data table under them, text in the
page's colours, a title and description for screen readers), the home page's chart, a chart
printed to PDF, and a chart on a phone. Screenshots of each go to the artefacts."""
import walk_a11y

# The checks of the walk that runs these steps (browser_test.py, imported once it has them).
from __main__ import check, check_equal

CHARTS = {"Orders per month": "chart-orders.png", "Revenue per country": "chart.png",
          "Stock per category": "chart-stock.png"}


def _drawn(page):
    """What the first chart of the page shows, measured where the browser drew it: the bars'
    heights in order, the slices, its accessible name and description, the table's values."""
    return page.evaluate("""(() => {
        const svg = document.querySelector("svg.chart");
        if (!svg) return null;
        const number = t => Number(t.replace(/,/g, ""));
        return {
            role: svg.getAttribute("role"),
            name: document.getElementById(svg.getAttribute("aria-labelledby"))?.textContent,
            desc: document.getElementById(svg.getAttribute("aria-describedby"))?.textContent,
            width: svg.getBoundingClientRect().width,
            bars: [...svg.querySelectorAll("rect.bar")].map(r => r.getBoundingClientRect().height),
            slices: svg.querySelectorAll(".slice").length,
            fill: (() => { const m = svg.querySelector(".bar, .slice");
                           return m ? getComputedStyle(m).fill : null; })(),
            text: getComputedStyle(svg.querySelector(".categories text") ?? svg).color,
            values: [...document.querySelectorAll("table.chart-data tbody tr")]
                .map(r => number(r.querySelector("td").innerText)),
            labels: [...document.querySelectorAll("table.chart-data tbody th")]
                .map(h => h.innerText.trim()),
        };
    })()""")


def _proportional(bars, values, what):
    check(len(bars) == len(values) and bars, f"{what}: {len(bars)} bars for {len(values)} rows")
    for bar, value in zip(bars, values):
        check(abs(bar / bars[0] - value / values[0]) < 0.03,
              f"{what}: bars {bars} not in proportion to {values}")


def charts_from_the_menu(walk):
    page = walk.page
    walk.menu("Charts")
    check_equal(walk.heading(), "Charts", "heading of the charts page")
    check_equal(page.texts('header nav a[aria-current="page"]'), ["Charts"], "current menu entry")
    check_equal(page.texts("table.charts tbody td:first-child a"), list(CHARTS),
                "the charts listed")
    for title, shot in CHARTS.items():
        walk.menu("Charts")
        page.click("table.charts a", title)
        check_equal(walk.heading(), title, "heading of the chart page")
        drawn = _drawn(page)
        check(drawn is not None, f"{title}: no chart drawn")
        check_equal((drawn["role"], drawn["name"]), ("img", title), f"{title}: role and name")
        check("data is in the table below" in drawn["desc"], f"{title}: its description "
              f"{drawn['desc']!r}")
        check_equal(drawn["text"], "rgb(29, 43, 54)", f"{title}: text in the page's ink")
        if drawn["slices"]:
            check_equal(drawn["slices"], len(drawn["values"]), f"{title}: a slice per row")
            check_equal(drawn["fill"], "rgb(23, 114, 114)", f"{title}: first slice in the accent")
        else:
            _proportional(drawn["bars"], drawn["values"], title)
            check_equal(drawn["fill"], "rgb(23, 114, 114)", f"{title}: bars in the accent")
        walk.screenshot(shot)
    drawn = _drawn(page)
    check_equal(drawn["labels"], ["Bakery", "Beverages", "Dairy", "Pantry", "Produce"],
                "the stock chart's categories")


def chart_on_the_home_page(walk):
    page = walk.page
    walk.menu("Home")
    drawn = _drawn(page)
    check(drawn is not None, "the home page shows no chart")
    check_equal(drawn["name"], "Orders per month", "the home page's chart")
    _proportional(drawn["bars"], drawn["values"], "the home page's chart")
    page.click("section.placed-chart h2 a", "Orders per month")
    check_equal(walk.heading(), "Orders per month", "where the chart's heading leads")


def chart_printed_and_on_a_phone(walk):
    page = walk.page
    text = walk_a11y.printed_text(walk, "?page=chart&name=revenuepercountry", "chart-printed.pdf")
    # The chart's text is vector text in the PDF, not a picture of it.
    for expected in ("Revenue per country", "Country", "Portugal"):
        check(expected in text, f"the printed chart lacks {expected!r}:\n{text}")
    check("Charts" not in text.split("Revenue per country")[0],
          f"the printed chart shows the menu:\n{text}")
    page.emulate_screen(390, 844)
    try:
        page.open(walk.server.address + "?page=chart&name=revenuepercountry")
        drawn = _drawn(page)
        check(0 < drawn["width"] <= 390, f"the chart does not fit a phone: {drawn['width']} px")
        walk.screenshot("chart-phone.png")
    finally:
        page.emulate_screen(None, None)


STEPS = [charts_from_the_menu, chart_on_the_home_page, chart_printed_and_on_a_phone]
