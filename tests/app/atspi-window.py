# Walks the BankShuttle window through AT-SPI: every field, menu, table and bar must have a
# name or a "labelled by" relation, every menu its label, and no button may be nameless.
import os
import sys
import time

import pyatspi

WANTS_NAME_OR_LABEL = {"text", "entry", "combo box", "table", "progress bar", "list"}
# Rows of the tables and items of the menus are their contents, not controls.
LEAVES = {"table", "combo box", "list"}


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except OSError:
        return False


def find_app(pid):
    # A sanitized build on a busy machine can take long to show its window; one that has ended
    # will never show it.
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline and alive(pid):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name and "bankshuttle" in app.name.lower():
                if app.childCount > 0:
                    return app
        time.sleep(0.1)
    return None


def labels(node):
    found = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            found += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return found


def main():
    app = find_app(int(sys.argv[1]))
    if app is None:
        print("the window never appeared on the accessibility bus")
        return 1
    problems, seen = [], {}

    def walk(node):
        role = node.getRoleName()
        if role in WANTS_NAME_OR_LABEL or role == "push button":
            seen[role] = seen.get(role, 0) + 1
            named = bool(node.name) or bool(labels(node))
            if not named:
                problems.append("a %s without a name or a label" % role)
            if role == "combo box" and not labels(node):
                problems.append("the menu showing %r has no label" % node.name)
            print("%-13s %-28r labelled by %s" % (role, node.name, labels(node)))
        if role not in LEAVES:
            for child in node:
                if child is not None:
                    walk(child)

    for window in app:
        walk(window)
    # The fields, the four menus, the two tables and the bar at the least.
    for role, least in (("text", 3), ("combo box", 4), ("table", 2), ("progress bar", 1)):
        if seen.get(role, 0) < least:
            problems.append("only %d of role %s found" % (seen.get(role, 0), role))
    for problem in problems:
        print("PROBLEM:", problem)
    return 1 if problems else 0


sys.exit(main())
