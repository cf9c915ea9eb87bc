#!/usr/bin/python3
"""Reads the adjustment check's values through the accessibility bridge (AT-SPI over D-Bus),
as a screen reader does, and compares each with what the window shows."""
import json
import subprocess
import sys
import time

import pyatspi

# Values whose text is known from the measurement the program shows: the bridge may not give
# the empty text for all of them and still pass.
KNOWN = {
    "Slope code to write": "27A8",
    "Offset code to write": "FE04",
    "Predicted as-left reading at point 2": "99.9968",
    "Largest error": "0.0032",
    "Verdict at point 3": "fail",
    "Verdict": "Fail",
    "Composed codes note": "Composed with the current codes: the readings were taken under them.",
}


def fail(message):
    print("a11y_values: " + message, file=sys.stderr)
    sys.exit(1)


def application(name, deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    fail("the program %r never showed up on the accessibility bus" % name)


def named_objects(root):
    found = {}
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        if node.name:
            found.setdefault(node.name, node)
        stack.extend(node[i] for i in range(node.childCount))
    return found


def read_value(node):
    """The value as a screen reader gets it: the text of a field, else the description."""
    try:
        text = node.queryText()
        content = text.getText(0, -1)
        if content:
            return content
    except NotImplementedError:
        pass
    return node.description


def compare(app, shown, deadline):
    """Fails unless every value reads through the bridge as the window shows it."""
    while True:
        objects = named_objects(app)
        wrong = [(name, text, read_value(objects[name]) if name in objects else None)
                 for name, text in sorted(shown.items())
                 if name not in objects or read_value(objects[name]) != text]
        if not wrong or time.time() > deadline:
            break
        time.sleep(0.2)
    for name, text, read in wrong:
        print("a11y_values: %r reads %r, the window shows %r" % (name, read, text),
              file=sys.stderr)
    if wrong:
        sys.exit(1)


def main():
    if len(sys.argv) != 2:
        fail("usage: a11y_values.py PROGRAM")
    program = sys.argv[1]
    shown_by = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        shown = json.loads(shown_by.stdout.readline() or "null")
        if not shown:
            fail("the program printed no values")
        for name, text in KNOWN.items():
            if shown.get(name) != text:
                fail("the window shows %r for %r, not %r" % (shown.get(name), name, text))
        deadline = time.time() + 30
        app = application(program.rsplit("/", 1)[-1], deadline)
        compare(app, shown, deadline)
        # A value that changes is read as it is now, not as it was.
        shown_by.stdin.write("n")
        shown_by.stdin.flush()
        shown = json.loads(shown_by.stdout.readline() or "null")
        if not shown or shown.get("Verdict") != "incomplete at point 2":
            fail("the window does not say the verdict waits for the second as-left reading")
        compare(app, shown, time.time() + 30)
        print("a11y_values: %d values read as shown, before and after a change" % len(shown))
    finally:
        shown_by.stdin.close()
        shown_by.wait(timeout=30)


main()
