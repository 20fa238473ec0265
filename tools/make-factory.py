#!/usr/bin/env python3
"""Makes Ombrel's factory sound files from resources/factory/OmbrelFactory.txt with ombrel-host,
through the built plug-ins themselves, so every file is what the plug-in saves and loads:

  OUT/vst/NAME.fxp                   one program each (VST 2.4)
  OUT/vst/Ombrel Factory N.fxb       the programs ten at a time, as banks
  OUT/clap/NAME.clapstate            one state each (CLAP)
  OUT/ombrel-factory.lv2/            an LV2 bundle of presets for urn:korvel:ombrel

Usage: make-factory.py TABLE OUT HOST VST_PLUGIN [--clap PLUGIN.clap] [--lv2 BUNDLE.lv2]
       make-factory.py --list TABLE        prints "NAME<TAB>ABOUT" per program
"""

import os
import re
import shutil
import subprocess
import sys

PLUGIN_URI = "urn:korvel:ombrel"
BANK_SIZE = 10
NAME_LIMIT = 24  # a program name's characters


class TableError(Exception):
    pass


def read_table(path):
    """The programs in order: (name, about, [(parameter, text), ...])."""
    programs = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            where = f"{path}:{number}"
            if line.startswith("["):
                if not line.endswith("]") or len(line) < 3:
                    raise TableError(f"{where}: a program starts with [NAME]")
                name = line[1:-1].strip()
                if len(name) > NAME_LIMIT or not re.fullmatch(r"[A-Za-z0-9 ]+", name):
                    raise TableError(f"{where}: '{name}': at most {NAME_LIMIT} letters, digits "
                                     "and blanks")
                if any(p[0].lower() == name.lower() for p in programs):
                    raise TableError(f"{where}: '{name}' comes twice")
                programs.append((name, "", []))
                continue
            if "=" not in line or not programs:
                raise TableError(f"{where}: expected NAME = TEXT inside a program")
            key, value = (part.strip() for part in line.split("=", 1))
            if not key or not value:
                raise TableError(f"{where}: expected NAME = TEXT")
            name, about, settings = programs[-1]
            if key.lower() == "about":
                programs[-1] = (name, value, settings)
            else:
                settings.append((key, value))
    if not programs:
        raise TableError(f"{path}: no programs")
    for name, about, _ in programs:
        if not about:
            raise TableError(f"{path}: '{name}' says nothing about itself (about = ...)")
    return programs


def slug(name):
    return re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")


def run(host, args):
    result = subprocess.run([host] + args + ["--quiet"], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"ombrel-host {' '.join(args)}: exit {result.returncode}\n"
                           f"{result.stderr.strip()}")


def settings_args(settings):
    args = []
    for key, value in settings:
        args += ["--set", f"{key}={value}"]
    return args


def make_vst(host, plugin, programs, folder):
    os.makedirs(folder)
    for name, _, settings in programs:
        run(host, ["preset", "save", plugin, os.path.join(folder, name + ".fxp"), "--name", name]
            + settings_args(settings))
    # A bank is built one program at a time, each step loading the last; it ends on program 0.
    for first in range(0, len(programs), BANK_SIZE):
        bank = os.path.join(folder, f"Ombrel Factory {first // BANK_SIZE + 1}.fxb")
        steps = [os.path.join(folder, f".step{i}.fxb") for i in range(2)]
        previous = []
        for index, (name, _, settings) in enumerate(programs[first:first + BANK_SIZE]):
            target = steps[index % 2]
            run(host, ["preset", "save", plugin, target] + previous +
                ["--program", str(index), "--name", name] + settings_args(settings))
            previous = ["--load", target]
        run(host, ["preset", "save", plugin, bank] + previous + ["--program", "0"])
        for step in steps:
            if os.path.exists(step):
                os.remove(step)


def make_clap(host, plugin, programs, folder):
    os.makedirs(folder)
    for name, _, settings in programs:
        run(host, ["preset", "save", plugin, os.path.join(folder, name + ".clapstate")] +
            settings_args(settings))


def turtle_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def make_lv2(host, bundle, programs, folder):
    os.makedirs(folder)
    manifest = ["@prefix lv2: <http://lv2plug.in/ns/lv2core#> .",
                "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .",
                "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .", ""]
    for name, about, settings in programs:
        file = slug(name) + ".ttl"
        path = os.path.join(folder, file)
        run(host, ["preset", "save", bundle, path, "--name", name] + settings_args(settings))
        # ombrel-host names every state it saves alike; in a bundle each preset needs its own.
        uri = f"{PLUGIN_URI}#factory-{slug(name)}"
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if text.count("<urn:ombrel-host:state>") != 1:
            raise RuntimeError(f"{path}: not the state ombrel-host saves")
        text = text.replace("<urn:ombrel-host:state>", f"<{uri}>")
        text = text.replace(f"rdfs:label {turtle_text(name)} ;",
                            f"rdfs:label {turtle_text(name)} ;\n\trdfs:comment "
                            f"{turtle_text(about)} ;", 1)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        manifest += [f"<{uri}>", "\ta pset:Preset ;", f"\tlv2:appliesTo <{PLUGIN_URI}> ;",
                     f"\trdfs:label {turtle_text(name)} ;", f"\trdfs:seeAlso <{file}> .", ""]
    with open(os.path.join(folder, "manifest.ttl"), "w", encoding="utf-8") as f:
        f.write("\n".join(manifest))


def main(argv):
    if len(argv) == 2 and argv[0] == "--list":
        for name, about, _ in read_table(argv[1]):
            print(f"{name}\t{about}")
        return 0
    options = {}
    positional = []
    i = 0
    while i < len(argv):
        if argv[i] in ("--clap", "--lv2") and i + 1 < len(argv):
            options[argv[i]] = argv[i + 1]
            i += 2
        else:
            positional.append(argv[i])
            i += 1
    if len(positional) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    table, out, host, vst = positional
    programs = read_table(table)
    # Made beside the target and put in place whole, so a failure leaves no half set.
    work = out + ".new"
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    make_vst(host, vst, programs, os.path.join(work, "vst"))
    if "--clap" in options:
        make_clap(host, options["--clap"], programs, os.path.join(work, "clap"))
    if "--lv2" in options:
        make_lv2(host, options["--lv2"], programs, os.path.join(work, "ombrel-factory.lv2"))
    with open(os.path.join(work, "programs.txt"), "w", encoding="utf-8") as f:
        for name, about, _ in programs:
            f.write(f"{name}\t{about}\n")
    shutil.rmtree(out, ignore_errors=True)
    os.rename(work, out)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (TableError, RuntimeError, OSError) as e:
        print(f"make-factory.py: {e}", file=sys.stderr)
        sys.exit(1)
