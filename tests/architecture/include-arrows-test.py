#!/usr/bin/python3
"""Every include of src/ follows the arrows written in docs/ARCHITECTURE.md.

The arrows are the lines `room → room room …` of the fenced block that follows the line
`<!-- arrows -->`. A room is a folder of src/ or its views/; a file may include its own room, what
its room's arrows reach (followed through), and a room's views may also include their room and
the shared interface components. The arrows themselves must not run in a circle, every folder of
src/ must have its line, and nothing outside views/, app/ and ui/ may include Qt Widgets.

Usage: include-arrows-test.py SOURCE_DIR [QT_WIDGETS_HEADER_DIR]
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^">]+)[">]')


def fail(messages):
    for message in messages:
        print(message, file=sys.stderr)
    sys.exit(1)


def read_arrows(doc):
    arrows = {}
    with open(doc, encoding="utf-8") as f:
        lines = f.read().split("\n")
    try:
        start = lines.index("<!-- arrows -->")
    except ValueError:
        fail([f"{doc} : pas de bloc de flèches (<!-- arrows -->)"])
    fence = next(i for i in range(start + 1, len(lines)) if lines[i].startswith("```"))
    for number, line in enumerate(lines[fence + 1:], fence + 2):
        if line.startswith("```"):
            break
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if "→" not in line:
            fail([f"{doc}:{number} : ligne sans flèche : {line}"])
        room, targets = line.split("→", 1)
        room = room.strip()
        if room in arrows:
            fail([f"{doc}:{number} : « {room} » a deux lignes"])
        arrows[room] = targets.split()
    return arrows


def reachable(arrows):
    """The rooms each room reaches; a circle is an error."""
    done, visiting, reach, errors = set(), [], {}, []

    def visit(room):
        if room in done:
            return
        if room in visiting:
            errors.append("les flèches tournent en rond : " + " → ".join(visiting[visiting.index(room):] + [room]))
            return
        visiting.append(room)
        seen = set()
        for target in arrows.get(room, []):
            if target not in arrows:
                errors.append(f"« {room} » pointe vers « {target} », qui n’a pas de ligne")
                continue
            visit(target)
            seen.add(target)
            seen |= reach.get(target, set())
        visiting.pop()
        reach[room] = seen
        done.add(room)

    for room in sorted(arrows):
        visit(room)
    return reach, errors


def room_of(relative):
    parts = relative.split("/")
    if len(parts) > 2 and parts[1] == "views":
        return parts[0] + "/views"
    return parts[0]


def main():
    src = os.path.join(sys.argv[1], "src")
    doc = os.path.join(sys.argv[1], "docs", "ARCHITECTURE.md")
    widgets_dir = sys.argv[2] if len(sys.argv) > 2 else ""
    widgets = set()
    if widgets_dir and os.path.isdir(widgets_dir):
        widgets = set(os.listdir(widgets_dir))
        # Headers that Qt Gui or Core hold too (QAction, QUndoStack…) are not a screen.
        for other in ("QtGui", "QtCore"):
            sibling = os.path.join(os.path.dirname(os.path.normpath(widgets_dir)), other)
            if os.path.isdir(sibling):
                widgets -= set(os.listdir(sibling))
        widgets.discard("QtWidgets")

    arrows = read_arrows(doc)
    # A room's views stand on their room and on the shared components.
    for room in list(arrows):
        if room.endswith("/views"):
            arrows[room] = arrows[room] + [room[: -len("/views")], "ui"]
    reach, errors = reachable(arrows)

    folders = set()
    for top in sorted(os.listdir(src)):
        if not os.path.isdir(os.path.join(src, top)):
            continue
        folders.add(top)
        if os.path.isdir(os.path.join(src, top, "views")):
            folders.add(top + "/views")
    for folder in sorted(folders - set(arrows)):
        errors.append(f"src/{folder} n’a pas de ligne dans les flèches de docs/ARCHITECTURE.md")

    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, src)
            room = room_of(relative)
            allowed = {room} | reach.get(room, set())
            gui = room.endswith("/views") or room in ("app", "ui")
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    kind, target = match.groups()
                    if kind == "<":
                        header = target.split("/")[-1]
                        if not gui and (target.startswith("QtWidgets/") or header in widgets):
                            errors.append(f"src/{relative}:{number} : « {room} » n’a pas d’écran mais inclut <{target}>")
                        continue
                    parts = target.split("/")
                    if len(parts) < 2 or not os.path.isdir(os.path.join(src, parts[0])):
                        continue
                    included = parts[0] + "/views" if len(parts) > 2 and parts[1] == "views" else parts[0]
                    if included not in allowed:
                        errors.append(f"src/{relative}:{number} : « {room} » inclut « {target} » contre les flèches")
    if errors:
        fail(errors)


if __name__ == "__main__":
    main()
