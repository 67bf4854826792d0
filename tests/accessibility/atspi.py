#!/usr/bin/python3
"""atspi.py tree|controls|unnamed|focus|listen PID: a program's shown objects (all, its controls
or those without a name in words), its focused control or the events it sends, read over the
accessibility bus as a screen reader does, one JSON object a line."""
import json
import sys

import pyatspi

# Roles a user reaches by pointer or by flat review even where they take no keyboard focus.
CONTROLS = {"push button", "toggle button", "check box", "radio button", "combo box", "image",
            "list item", "page tab", "menu item", "slider", "spin button", "alert"}


def application(pid):
    apps = pyatspi.Registry.getDesktop(0)
    return next((a for a in apps if a is not None and a.get_process_id() == pid), None)


def walk(node, path, window, out):
    states = node.getState()
    showing = states.contains(pyatspi.STATE_SHOWING)
    role = node.getRoleName()
    shown_text = showing and role in ("text", "password text")
    text = node.queryText().getText(0, -1) if shown_text else ""
    out.append({"path": path, "window": window, "role": role, "name": node.name or "",
                "description": node.description or "", "text": text,
                "focused": states.contains(pyatspi.STATE_FOCUSED),
                "active": states.contains(pyatspi.STATE_ACTIVE),
                "control": showing and (role in CONTROLS or
                                        states.contains(pyatspi.STATE_FOCUSABLE))})
    # Hidden parts (a closed search bar, another page, a window never shown) are not reachable.
    if showing:
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                walk(child, "%s/%d" % (path, i), window, out)


def rows(pid):
    app = application(pid)
    out = []
    for i in range(app.childCount if app is not None else 0):
        window = app.getChildAtIndex(i)
        walk(window, str(i), window.name or "", out)
    return out


def tree(pid, keep=lambda row: True):
    for row in rows(pid):
        if keep(row):
            print(json.dumps(row, ensure_ascii=False))


def unnamed(row):
    # A reachable control whose name is empty or holds no letter or digit (a glyph).
    return row["control"] and not any(c.isalnum() for c in row["name"])


def focus(pid):
    # Views keep a focused current row while another window has the keyboard: only the active
    # window counts, and in it the innermost focused control.
    found = {}
    active = None
    for row in rows(pid):
        if "/" not in row["path"]:
            active = row["active"]
        elif active and row["focused"] and row["role"] != "filler":
            if not found or row["role"] != "list item":
                found = row
    print(json.dumps(found, ensure_ascii=False))


def listen(pid):
    def heard(event):
        try:
            if event.source.get_process_id() == pid:
                print(json.dumps({"type": event.type, "name": event.source.name or "",
                                  "detail": str(event.any_data or "")}, ensure_ascii=False),
                      flush=True)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(heard, "object:children-changed:add")
    print(json.dumps({"type": "listening"}), flush=True)
    pyatspi.Registry.start()


if __name__ == "__main__":
    {"tree": tree, "focus": focus, "listen": listen,
     "controls": lambda pid: tree(pid, lambda row: row["control"]),
     "unnamed": lambda pid: tree(pid, unnamed)}[sys.argv[1]](int(sys.argv[2]))
