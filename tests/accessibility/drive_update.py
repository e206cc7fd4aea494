#!/usr/bin/python3
"""A whole update of the printer bench driven through the accessibility interface alone.

What a screen reader or voice control has: the AT-SPI tree and its events, no pointer, no keys.
Twice, each time on a bench of its own with its two well-behaved printers: in German, the
window's start language, and in French after pressing the language button twice. Each time it
ticks both printers with "Toggle" (and unticks and ticks the first again), presses START,
follows every status row's text and fill through the events it receives, reads the summary's
text and counts, presses OK, waits for both printers' return marks, and presses CLOSE.

It fails on an element one can act on that has no name, on a page header in the tree, on a
tick the entry's state or its events do not follow, and on a row change that sent no event.
Screenshots of the screen at the summary and at the end go into OUTPUT_DIR.

Usage: drive_update.py BENCH OUTPUT_DIR   (under a display, a session bus and the AT-SPI bus)
"""

import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

NBSP = "\u00a0"

# The window's texts as the string tables word them (resources/strings/).
LANGUAGES = {
    "de": {
        "language": "Sprache: Deutsch. Nächste: Spanisch",
        "minimise": "Minimieren",
        "printers": "Druckerliste",
        "serials": "Seriennummer",
        "statuses": "Status",
        "start": "Anfang",
        "close": "Schließen",
        "idle": "Bereit",
        "steps": [
            "In den Update-Modus versetzen...",
            "im Update-Modus",
            "Firmware-Datei wird gesendet ...",
            "Firmware speichern und aktualisieren ...",
            "Firmware-Update: abgeschlossen",
        ],
        "summary": "Alle ausgewählten Drucker wurden aktualisiert.\r\n"
        "Aktualisierte Drucker wären AUS.",
        "counts": "[2/2]  Drucker aktualisiert",
        "back": "wieder am Bus",
    },
    "fr": {
        "language": f"Langue{NBSP}: français. Suivante{NBSP}: anglais",
        "minimise": "Réduire",
        "printers": "Liste des imprimantes",
        "serials": "Numéro de série",
        "statuses": "Statut",
        "start": "Démarrer",
        "close": "Fermer",
        "idle": "Prêt",
        "steps": [
            "Mise en mode flash...",
            "en mode mise à jour",
            'Envoi du fichier "firmware"...',
            "Stockage et mise à jour du firmware...",
            'Mise à jour "Firmware": terminée',
        ],
        "summary": "Toutes les imprimantes sélectionnées ont été mises à jour.\r\n"
        "Les imprimantes mises à jour seraient éteintes.",
        "counts": "[2/2]  imprimantes mises à jour",
        "back": "de retour sur le bus",
    },
}
# The language button's name on the way from German to French.
SPANISH_BUTTON = "Idioma: español. Siguiente: francés"


class Failure(Exception):
    pass


def pump(seconds=0.0):
    """Lets the events that have come in reach the listener, for `seconds` at least."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.pending():
            context.iteration(False)
        if time.monotonic() >= end:
            return
        time.sleep(0.005)


def wait_until(condition, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        pump()
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise Failure(f"not within {timeout} s: {what}")


def walk(element):
    yield element
    for i in range(element.childCount):
        try:
            child = element.getChildAtIndex(i)
        except GLib.GError:
            continue
        if child is not None:
            yield from walk(child)


def find(root, role, name=None):
    for element in walk(root):
        if element.getRoleName() == role and (name is None or element.name == name):
            return element
    return None


def states(element):
    return element.getState().getStates()


def act(element, action):
    actions = element.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if action not in names:
        raise Failure(f"{element.getRoleName()} {element.name!r} offers {names}, not {action}")
    actions.doAction(names.index(action))


def faults(root):
    """Elements one can act on without a name, and page headers; a table cell may be blank."""
    found = []
    for element in walk(root):
        role = element.getRoleName()
        if role in ("page tab list", "page tab"):
            found.append(f"a page header in the tree: {role} {element.name!r}")
        try:
            actions = element.queryAction()
        except NotImplementedError:
            continue
        if actions.nActions > 0 and role != "table cell" and not element.name.strip():
            names = [actions.getName(i) for i in range(actions.nActions)]
            found.append(f"{role} without a name, offering {names}")
    return found


def screenshot(out, name):
    path = os.path.join(out, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True)
    print(f"  screenshot {path}")


class Listener:
    """Every event of the kinds a screen reader follows, with what its element said then."""

    KINDS = (
        "object:property-change:accessible-name",
        "object:property-change:accessible-description",
        "object:state-changed:checked",
    )

    def __init__(self):
        self.heard = []
        pyatspi.Registry.registerEventListener(self.on_event, *self.KINDS)

    def on_event(self, event):
        source = event.source
        try:
            parent = source.parent
            self.heard.append(
                {
                    "type": event.type,
                    "pid": source.get_process_id(),
                    "list": parent.name if parent is not None else "",
                    "row": source.getIndexInParent(),
                    "name": source.name,
                    "description": source.description,
                    "detail": event.detail1,
                }
            )
        except GLib.GError:
            # The element was gone before it could be read (a row replaced again at once):
            # still an event, without its words.
            self.heard.append({"type": event.type, "pid": None, "list": "", "row": -1})

    def of(self, pid, kind, list_name, row):
        return [
            e
            for e in self.heard
            if e["pid"] == pid and e["type"].startswith(kind) and e["list"] == list_name
            and e["row"] == row
        ]


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.GError:
            continue
    return None


def top_level(app, role, name):
    for window in app:
        if window is not None and window.getRoleName() == role and window.name == name:
            return window
    return None


def deduplicated(texts):
    kept = []
    for text in texts:
        if not kept or kept[-1] != text:
            kept.append(text)
    return kept


def run(bench, out, code, listener):
    texts = LANGUAGES[code]
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    started = time.monotonic()
    log = open(os.path.join(out, f"bench-{code}.log"), "w")
    process = subprocess.Popen([bench, "--speed", "10"], env=env, stdout=log, stderr=log)
    pid = process.pid
    try:
        app = wait_until(lambda: application(pid), 30, "the bench on the accessibility bus")
        window = wait_until(
            lambda: next(
                (w for w in app if w is not None and w.name.endswith(" FDU")), None),
            30,
            "the product's window",
        )
        caption = window.name
        bench_window = wait_until(
            lambda: top_level(app, "filler", "Printer bench"), 10, "the bench's window")
        printers = wait_until(
            lambda: (lambda l: l if l is not None and l.childCount == 2 else None)(
                find(window, "list", LANGUAGES["de"]["printers"])),
            30,
            "the printer list named by its header, with the two bench printers",
        )
        print(f"[{code}] {caption!r}: printers in {printers.name!r}")

        if code != "de":
            button = find(window, "push button", LANGUAGES["de"]["language"])
            if button is None:
                raise Failure("no language button named " + repr(LANGUAGES["de"]["language"]))
            for after in (SPANISH_BUTTON, texts["language"]):
                act(button, "Press")
                wait_until(lambda: button.name == after, 10, f"the language button to say {after!r}")
                print(f"[{code}] language button now {button.name!r}")
            for role, name in (("push button", texts["start"]), ("list", texts["printers"]),
                               ("push button", texts["minimise"])):
                wait_until(lambda: find(window, role, name), 10, f"{role} {name!r} renamed")
            printers = find(window, "list", texts["printers"])

        problems = faults(window) + faults(bench_window)
        if problems:
            raise Failure("on the start page: " + "; ".join(problems))

        # Ticks: the first on, off and on again, then the second; each followed by the
        # entry's state and by its event.
        entries = [printers.getChildAtIndex(i) for i in range(2)]
        for row, tick in ((0, True), (0, False), (0, True), (1, True)):
            entry = entries[row]
            before = len(listener.of(pid, "object:state-changed:checked", texts["printers"], row))
            act(entry, "Toggle")
            wait_until(
                lambda: (pyatspi.STATE_CHECKED in states(entry)) == tick,
                5,
                f"entry {row + 1} {entry.name!r} to be {'checked' if tick else 'unchecked'}",
            )
            heard = wait_until(
                lambda: listener.of(pid, "object:state-changed:checked", texts["printers"], row)[
                    before:],
                5,
                f"a state change of entry {row + 1} after Toggle",
            )
            if heard[-1]["detail"] != int(tick):
                raise Failure(f"entry {row + 1}: the state change said {heard[-1]['detail']}")
        print(f"[{code}] both printers ticked through Toggle")

        start = find(window, "push button", texts["start"])
        act(start, "Press")
        statuses = wait_until(
            lambda: (lambda l: l if l is not None and l.childCount == 2 else None)(
                find(window, "list", texts["statuses"])),
            30,
            f"the status list {texts['statuses']!r} with two rows",
        )
        dialog = wait_until(lambda: top_level(app, "alert", caption), 180, "the summary alert")
        print(f"[{code}] summary after {time.monotonic() - started:.1f} s")

        # Every row walked through every step, and each step reached the listener.
        waited = []
        for row in range(2):
            heard = listener.of(pid, "object:property-change:accessible-name", texts["statuses"],
                                row)
            said = deduplicated([e["name"] for e in heard])
            final = statuses.getChildAtIndex(row).name
            print(f"[{code}] row {row + 1}: {len(heard)} name events: {said}")
            if said != texts["steps"] or final != texts["steps"][-1]:
                raise Failure(f"row {row + 1} said {said}, now {final!r}; "
                              f"expected {texts['steps']}")
            # The fill as the row's events found it: a tenth may have passed before the
            # listener read it, and the last tenth of the image is read at the next step's
            # name event (the row that says it is replaced by then).
            changed = listener.of(
                pid, "object:property-change:accessible-description", texts["statuses"], row)
            fills = [e["description"] for e in listener.of(pid, "object:", texts["statuses"], row)]
            shares = deduplicated([int(d[:-2]) for d in fills if d.endswith(" %")])
            waits = deduplicated([d for d in fills if d.endswith(" / 3:10")])
            print(f"[{code}] row {row + 1}: {len(changed)} description events; heard shares "
                  f"{shares}, waits {waits}")
            if len(changed) < 5 or shares != sorted(shares) or shares[-1:] != [100]:
                raise Failure(f"row {row + 1}: {len(changed)} description events; the image's "
                              f"share heard as {shares}")
            waited.extend(waits)
        # The first printer is waited for while the second stores too; the second's wait may
        # be over in the moment its own turn comes, before the listener can read it.
        if not waited:
            raise Failure("the wait for storing was heard on no row")

        labels = [e.name for e in walk(dialog) if e.getRoleName() == "label"]
        if texts["summary"] not in labels or texts["counts"] not in labels:
            raise Failure(f"the summary says {labels}")
        print(f"[{code}] summary {labels}")
        problems = faults(window) + faults(dialog)
        if problems:
            raise Failure("at the summary: " + "; ".join(problems))
        screenshot(out, f"{code}-summary")
        act(find(dialog, "push button", "OK"), "Press")
        wait_until(lambda: top_level(app, "alert", caption) is None, 10, "the summary to close")

        # The watch after the run: both printers come back, and their marks are heard.
        for row in range(2):
            mark = wait_until(
                lambda: [e["description"] for e in listener.of(
                    pid, "object:property-change:accessible-description", texts["statuses"],
                    row) if texts["back"] in e["description"]],
                120,
                f"row {row + 1}'s return mark",
            )
            print(f"[{code}] row {row + 1} after the run: {mark[-1]!r}")
        screenshot(out, f"{code}-finished")

        act(find(window, "push button", texts["close"]), "Press")
        if process.wait(timeout=30) != 0:
            raise Failure(f"the bench ended with {process.returncode}")
        print(f"[{code}] closed through CLOSE; {time.monotonic() - started:.1f} s")
    finally:
        if process.poll() is None:
            try:
                screenshot(out, f"{code}-when-it-failed")
            except Exception:
                pass
            process.kill()
            process.wait()
        log.close()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    bench, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    listener = Listener()
    pump(0.5)
    try:
        for code in ("de", "fr"):
            run(bench, out, code, listener)
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    print("passed: both runs driven through the accessibility interface alone")
    return 0


if __name__ == "__main__":
    sys.exit(main())
