#!/usr/bin/env python3
"""Fails when a file under src/ includes a module the table in docs/architecture.md does not allow,
when the table itself has a cycle, or when a system backend's headers or folders leak out of place."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
table_text = (root / "docs/architecture.md").read_text()

# The table between the markers: | module | modules it may include |
section = re.search(r"<!-- modules -->(.*?)<!-- /modules -->", table_text, re.S)
if not section:
    sys.exit("check-includes: docs/architecture.md has no <!-- modules --> table")
allowed = {}
for line in section.group(1).splitlines():
    cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
    if len(cells) != 2 or not re.fullmatch(r"`[a-z_]+`", cells[0]):
        continue
    name = cells[0].strip("`")
    allowed[name] = {dep.strip().strip("`") for dep in cells[1].split(",") if dep.strip() and dep.strip() != "-"}

problems = []

# The allowed graph must have no cycle, or "layers" mean nothing.
def cycle_from(module, path):
    if module in path:
        return path[path.index(module):] + [module]
    for dep in sorted(allowed.get(module, ())):
        found = cycle_from(dep, path + [module])
        if found:
            return found
    return None

for module in sorted(allowed):
    cycle = cycle_from(module, [])
    if cycle:
        problems.append("the table allows a cycle: " + " -> ".join(cycle))
        break
for module, deps in allowed.items():
    for dep in deps - set(allowed):
        problems.append(f"the table lets {module} include {dep}, which is not a module")

# Headers of the system backends belong in their platform folder; the folders themselves are chosen
# by the composition root (app/) alone.
backend_headers = {
    "x11": re.compile(r"#\s*include\s*<(X11|xcb)/"),
    "pulse": re.compile(r"#\s*include\s*<pulse/"),
    "libsecret": re.compile(r"#\s*include\s*<libsecret/"),
    "v4l2": re.compile(r"#\s*include\s*<linux/videodev2\.h>"),
    "portal": re.compile(r"#\s*include\s*<(pipewire|spa|systemd)/"),
}
include = re.compile(r'#\s*include\s*"([a-z_]+)/([^"]+)"')
# Qt stays in the desktop studio, so the engine and the CLI build and run without it.
qt_header = re.compile(r"#\s*include\s*<Q[A-Za-z0-9]*(/[^>]*)?>")

src = root / "src"
for file in sorted(src.rglob("*")):
    if file.suffix not in (".h", ".cpp"):
        continue
    relative = file.relative_to(src)
    module = relative.parts[0]
    if module not in allowed:
        problems.append(f"src/{relative}: module {module} is not in the table of docs/architecture.md")
        continue
    for number, line in enumerate(file.read_text(errors="replace").splitlines(), 1):
        where = f"src/{relative}:{number}"
        match = include.search(line)
        if match:
            target, rest = match.group(1), match.group(2)
            if target != module and target not in allowed[module]:
                problems.append(f"{where}: {module} may not include {target}/ ({line.strip()})")
            backend = rest.split("/")[0] if target == "platform" and "/" in rest else None
            if backend in backend_headers and module not in ("platform", "app"):
                problems.append(f"{where}: only app/ picks platform/{backend}/ ({line.strip()})")
        if qt_header.search(line) and module != "studio":
            problems.append(f"{where}: only studio/ includes Qt ({line.strip()})")
        for backend, pattern in backend_headers.items():
            if pattern.search(line) and relative.parts[:2] != ("platform", backend):
                problems.append(f"{where}: {backend} headers belong in src/platform/{backend}/ ({line.strip()})")

for problem in problems:
    print("check-includes:", problem, file=sys.stderr)
if problems:
    sys.exit(1)
print(f"check-includes: {len(allowed)} modules, every include allowed")
