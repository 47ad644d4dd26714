"""One browser tab, used as a person uses it: open an address, click what is on
the screen (with the mouse, where the element is drawn), type into fields, read
the text shown, go back, take a screenshot."""
import base64
import json

from devtools import BrowserFailure

# Finds the elements matching a CSS selector, and of those the ones whose visible
# text (trimmed) is the given text, when one is given.
LOCATE = """(selector, text) => [...document.querySelectorAll(selector)]
    .filter(e => text === null || e.innerText.trim() === text)"""


# The accessibility rules every page must pass: WCAG 2.0, 2.1 and 2.2, levels A and AA.
AXE_RUN = """axe.run(document, {runOnly: {type: "tag", values:
        ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa"]}})
    .then(r => r.violations.map(v => ({id: v.id, impact: v.impact, help: v.help,
        nodes: v.nodes.map(n => n.target.join(" "))})))"""


class Page:
    def __init__(self, chromium, axe_script):
        self._devtools = chromium.devtools
        self._session = chromium.new_page()
        for domain in ("Page", "Runtime"):
            self._call(f"{domain}.enable")
        # The accessibility check cannot be left out: without its script there is no walk.
        with open(axe_script, encoding="utf-8") as script:
            self._axe = script.read()
        # Checks that hold on every page, run after each page load.
        self.after_load = lambda: None

    def _call(self, method, params=None, timeout=None):
        return self._devtools.call(method, params, self._session, timeout)

    def evaluate(self, expression):
        """The value of a JavaScript expression (awaited when it is a promise)."""
        answer = self._call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                 "awaitPromise": True})
        if "exceptionDetails" in answer:
            details = answer["exceptionDetails"]
            raise BrowserFailure(f"the page could not run {expression[:200]!r}: "
                                 f"{details.get('exception', {}).get('description', details)}")
        return answer["result"].get("value")

    def _navigation(self, action, what):
        for event in ("Page.frameNavigated", "Page.loadEventFired"):
            self._devtools.forget_events(event)
        action()
        committed = self._devtools.wait_event("Page.frameNavigated", f"new page after {what}",
                                              self._session,
                                              lambda p: "parentId" not in p["frame"])
        # A page restored from the back-forward cache is not loaded again.
        if committed.get("type") != "BackForwardCacheRestore":
            self._devtools.wait_event("Page.loadEventFired", f"page load after {what}",
                                      self._session)
        self.check_accessibility()
        self.after_load()

    def check_accessibility(self):
        """Runs axe-core in the page shown; any violation fails with every node it names."""
        if not self.evaluate("typeof axe !== 'undefined'"):
            self.evaluate(self._axe + "\n;true")
        violations = self.evaluate(AXE_RUN)
        if violations:
            lines = [f"{v['id']} ({v['impact']}): {v['help']}: {', '.join(v['nodes'])}"
                     for v in violations]
            raise AssertionError(f"accessibility violations on {self.url()}:\n  "
                                 + "\n  ".join(lines))

    def open(self, url):
        def navigate():
            answer = self._call("Page.navigate", {"url": url})
            if answer.get("errorText"):
                raise BrowserFailure(f"the browser could not open {url}: {answer['errorText']}")
        self._navigation(navigate, f"opening {url}")

    def back(self):
        history = self._call("Page.getNavigationHistory")
        entry = history["entries"][history["currentIndex"] - 1]
        self._navigation(lambda: self._call("Page.navigateToHistoryEntry", {"entryId": entry["id"]}),
                         "going back")

    def url(self):
        return self.evaluate("location.href")

    def status(self):
        """The HTTP status of the page shown."""
        return self.evaluate("performance.getEntriesByType('navigation')[0].responseStatus")

    def text(self, selector="body"):
        """The text shown by the first element matching selector, as a person reads it."""
        return self.evaluate(f"document.querySelector({json.dumps(selector)})?.innerText ?? null")

    def texts(self, selector):
        return self.evaluate(f"[...document.querySelectorAll({json.dumps(selector)})]"
                             ".map(e => e.innerText.trim())")

    def click(self, selector, text=None, index=0, navigates=True):
        """Clicks the index-th element matching selector (and text) with the mouse,
        at the middle of where it is drawn, after scrolling it into view; the element
        must be what a person would hit there."""
        where = self.evaluate(f"""(() => {{
            const found = ({LOCATE})({json.dumps(selector)}, {json.dumps(text)});
            const e = found[{index}];
            if (!e) return `${{found.length}} match`;
            e.scrollIntoView({{block: "center"}});
            const r = e.getBoundingClientRect();
            const x = r.left + r.width / 2, y = r.top + r.height / 2;
            const hit = document.elementFromPoint(x, y);
            if (!hit || !(hit === e || e.contains(hit)))
                return `covered by ${{hit ? hit.outerHTML.slice(0, 80) : "nothing"}}`;
            return [x, y];
        }})()""")
        name = f"{selector} {text!r}" if text is not None else selector
        if not isinstance(where, list):
            raise AssertionError(f"cannot click {name} #{index} on {self.url()}: {where}")
        x, y = where

        def press():
            for kind in ("mousePressed", "mouseReleased"):
                self._call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y,
                                                        "button": "left", "clickCount": 1})
        if navigates:
            self._navigation(press, f"clicking {name}")
        else:
            press()

    def type_into(self, selector, value):
        """Replaces what the field holds by value, typed in as text."""
        self.evaluate(f"(() => {{ const e = document.querySelector({json.dumps(selector)});"
                      " e.focus(); e.select(); })()")
        self._call("Input.dispatchKeyEvent", {"type": "keyDown", "key": "Delete",
                                              "code": "Delete", "windowsVirtualKeyCode": 46})
        self._call("Input.dispatchKeyEvent", {"type": "keyUp", "key": "Delete",
                                              "code": "Delete", "windowsVirtualKeyCode": 46})
        if value:
            self._call("Input.insertText", {"text": value})

    def value(self, selector):
        return self.evaluate(f"document.querySelector({json.dumps(selector)}).value")

    def screenshot(self, path):
        """The whole page as PNG."""
        size = self._call("Page.getLayoutMetrics")["cssContentSize"]
        clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}
        png = self._call("Page.captureScreenshot", {"format": "png", "clip": clip,
                                                    "captureBeyondViewport": True})
        with open(path, "wb") as out:
            out.write(base64.b64decode(png["data"]))

    def press_tab(self):
        """Moves the keyboard focus on, as the Tab key does."""
        for kind in ("keyDown", "keyUp"):
            self._call("Input.dispatchKeyEvent", {"type": kind, "key": "Tab", "code": "Tab",
                                                  "windowsVirtualKeyCode": 9})

    def emulate_screen(self, width, height):
        """Lays the page out as on a phone of this size (CSS pixels); None ends it."""
        if width is None:
            self._call("Emulation.clearDeviceMetricsOverride")
        else:
            self._call("Emulation.setDeviceMetricsOverride",
                       {"width": width, "height": height, "deviceScaleFactor": 1,
                        "mobile": True})

    def print_pdf(self, path):
        """The page as the browser prints it (print style sheet), as PDF."""
        pdf = self._call("Page.printToPDF", {"printBackground": True})
        with open(path, "wb") as out:
            out.write(base64.b64decode(pdf["data"]))
