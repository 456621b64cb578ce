#!/usr/bin/env python3
"""A .docx as reviewable text: what a reader of the document sees, not how the XML spells it.

Every paragraph (its properties, numbering label and runs), table (properties, grid, rows with
their properties, cells with span, vertical merge and contents), the section's page settings,
headers and footers. Runs with the same formatting are joined and empty ones dropped, so two
documents that differ only in how their text is split into runs come out the same. Tables are
read from the XML directly (python-docx's cell access grows with the square of the rows).

Run: normalize_docx.py FILE.docx  (prints JSON, one block to a line)
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def local(tag):
    return tag.split("}", 1)[1] if "}" in tag else tag


def attributes(element):
    """An element's attributes without namespaces, sorted."""
    return {local(k): v for k, v in sorted(element.attrib.items()) if local(k) != "space"}


def properties(element):
    """A properties element (pPr, rPr, trPr, tcPr, tblPr ...) as a sorted mapping."""
    if element is None:
        return {}
    out = {}
    for child in element:
        name = local(child.tag)
        if name in ("rPr",):  # handled by the caller
            continue
        value = attributes(child)
        nested = {local(c.tag): attributes(c) for c in child}
        if nested:
            value = dict(value, **nested)
        out[name] = value if value else True
    return dict(sorted(out.items()))


def run_format(rpr):
    return properties(rpr)


def runs_of(paragraph):
    """The paragraph's runs as [format, text], neighbours of one format joined, empty ones dropped."""
    out = []

    def add(fmt, text):
        if not text:
            return
        if out and out[-1][0] == fmt:
            out[-1][1] += text
        else:
            out.append([fmt, text])

    def walk(node):
        for child in node:
            name = local(child.tag)
            if name == "r":
                fmt = run_format(child.find(W + "rPr"))
                text = ""
                for c in child:
                    n = local(c.tag)
                    if n == "t":
                        text += c.text or ""
                    elif n == "tab":
                        text += "\t"
                    elif n in ("br", "cr"):
                        text += "\n"
                    elif n == "drawing":
                        extent = c.find(".//{http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing}extent")
                        text += "[图片 %sx%s]" % (extent.get("cx"), extent.get("cy")) if extent is not None else "[图片]"
                add(json.dumps(fmt, ensure_ascii=False, sort_keys=True), text)
            elif name in ("hyperlink", "ins", "smartTag", "sdt", "sdtContent", "fldSimple"):
                walk(child)

    walk(paragraph)
    return [[json.loads(f), t] for f, t in out]


class Numbering:
    def __init__(self, xml):
        self.labels = {}
        if xml is None:
            return
        root = ET.fromstring(xml)
        abstract = {}
        for a in root.findall(W + "abstractNum"):
            lvl = a.find(W + "lvl")
            text = lvl.find(W + "lvlText") if lvl is not None else None
            abstract[a.get(W + "abstractNumId")] = text.get(W + "val") if text is not None else ""
        for n in root.findall(W + "num"):
            ref = n.find(W + "abstractNumId")
            self.labels[n.get(W + "numId")] = re.sub(r"%\d", "", abstract.get(ref.get(W + "val"), ""))


def paragraph(p, numbering):
    ppr = p.find(W + "pPr")
    props = properties(ppr)
    label = None
    if "numPr" in props:
        num = props.pop("numPr")
        label = numbering.labels.get(num.get("numId", {}).get("val") if isinstance(num, dict) else None)
    mark = run_format(ppr.find(W + "rPr")) if ppr is not None else {}
    out = {"p": runs_of(p)}
    if props:
        out["pPr"] = props
    if mark:
        out["mark"] = mark
    if label:
        out["label"] = label
    return out


def table(tbl, numbering):
    out = {"tblPr": properties(tbl.find(W + "tblPr")),
           "grid": [int(g.get(W + "w")) for g in tbl.findall(W + "tblGrid/" + W + "gridCol")], "rows": []}
    for tr in tbl.findall(W + "tr"):
        row = {"trPr": properties(tr.find(W + "trPr")), "cells": []}
        for tc in tr.findall(W + "tc"):
            cell = {"tcPr": properties(tc.find(W + "tcPr")), "blocks": blocks(tc, numbering)}
            row["cells"].append(cell)
        out["rows"].append(row)
    return out


def blocks(parent, numbering):
    out = []
    for child in parent:
        name = local(child.tag)
        if name == "p":
            out.append(paragraph(child, numbering))
        elif name == "tbl":
            out.append({"table": table(child, numbering)})
        elif name == "sectPr":
            # Headers and footers are compared by their contents, not by their references.
            props = {k: v for k, v in properties(child).items() if k not in ("headerReference", "footerReference")}
            out.append({"sectPr": props})
    return out


def normalize(path):
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        numbering = Numbering(z.read("word/numbering.xml") if "word/numbering.xml" in names else None)
        body = ET.fromstring(z.read("word/document.xml")).find(W + "body")
        rels = {}
        if "word/_rels/document.xml.rels" in names:
            for rel in ET.fromstring(z.read("word/_rels/document.xml.rels")).findall(REL + "Relationship"):
                rels[rel.get("Id")] = rel.get("Target")
        parts = {"body": blocks(body, numbering)}
        sect = body.find(W + "sectPr")
        if sect is not None:
            for ref in list(sect.findall(W + "headerReference")) + list(sect.findall(W + "footerReference")):
                target = "word/" + rels.get(ref.get(R + "id"), "")
                if target in names:
                    kind = local(ref.tag).replace("Reference", "") + ":" + ref.get(W + "type", "default")
                    parts[kind] = blocks(ET.fromstring(z.read(target)), numbering)
        return parts


def dump(parts):
    """One block to a line, so that a difference shows where it is."""
    lines = []
    for part, items in parts.items():
        lines.append(json.dumps({"part": part}, ensure_ascii=False))
        for item in items:
            if "table" in item:
                t = item["table"]
                lines.append(json.dumps({"table": {"tblPr": t["tblPr"], "grid": t["grid"]}},
                                        ensure_ascii=False, sort_keys=True))
                for row in t["rows"]:
                    lines.append(json.dumps({"row": row}, ensure_ascii=False, sort_keys=True))
            else:
                lines.append(json.dumps(item, ensure_ascii=False, sort_keys=True))
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    sys.stdout.write(dump(normalize(sys.argv[1])))
