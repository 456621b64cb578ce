#!/usr/bin/python3
"""Fills a user format that LibreOffice Writer saved after editing (its fields split over runs,
one of them bold and coloured) and reads the report back with python-docx: every field's value
in place with the formatting of its first character, the letterhead in the page header, one
member part per ticked member with its readings ten a row, failing readings red.

Usage: check_user_format.py KRO SAMPLE.KRO FORMAT.docx
"""
import json
import os
import subprocess
import sys
import tempfile

import docx

KRO, SAMPLE, FORMAT = sys.argv[1], sys.argv[2], sys.argv[3]


def run(*args):
    done = subprocess.run([KRO, *args], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"kro {' '.join(args)} failed: {done.stderr}")
    return done.stdout


def color_of(cell):
    for paragraph in cell.paragraphs:
        for r in paragraph.runs:
            if r.text.strip() and r.font.color is not None and r.font.color.rgb is not None:
                return str(r.font.color.rgb)
    return None


with tempfile.TemporaryDirectory() as folder:
    project = os.path.join(folder, "p.KRO")
    run("params", SAMPLE, "--set", "工程名称=阳光花园", "--set", "委托单位=星城置业", "--set", "检测单位=星城质检",
        "--set", "报告编号=BG-01", "--set", "监理编号=JL-7", "-o", project)
    out = os.path.join(folder, "out")
    os.mkdir(out)
    run("report", project, "-o", out, "--format", FORMAT, "--config-dir", folder)
    info = json.loads(run("info", project, "--json"))
    doc = docx.Document(os.path.join(out, "楼板仪报告文档.docx"))

    paragraph = next(p for p in doc.paragraphs if p.text.startswith("工程名称："))
    assert paragraph.text == "工程名称：阳光花园，委托单位：星城置业", paragraph.text
    value = next(r for r in paragraph.runs if "阳光花园" in r.text)
    assert value.bold, "the value lost the bold of the field's first character"
    header = doc.sections[0].header.paragraphs[0].text
    assert "星城建设工程质量检测中心" in header and "星城质检" in header and "BG-01" in header, header
    assert any("JL-7" in c.text for t in doc.tables for row in t.rows for c in row.cells), "declared parameter"

    table = next(t for t in doc.tables if t.rows[0].cells[0].text == "序号")
    rows = table.rows[1:]
    at = 0
    ticked = [m for m in info["members"] if m["selected"]]
    for number, member in enumerate(ticked, 1):
        head = [c.text for c in rows[at].cells]
        assert head[0] == str(number) and head[1] == member["code"], (head, member["code"])
        readings = [r["thickness"] for r in member["readings"]]
        count = max(1, (len(readings) + 9) // 10)
        cells = [c for row in rows[at + 1:at + 1 + count] for c in row.cells]
        shown = [c for c in cells if c.text]
        assert [c.text for c in shown] == [str(t) for t in readings], member["code"]
        low = member["designThickness"] + member["minusDeviation"]
        high = member["designThickness"] + member["plusDeviation"]
        for cell, thickness in zip(shown, readings):
            red = color_of(cell) == "FF0000"
            assert red == (not low <= thickness <= high), (member["code"], thickness)
        at += 2 + count
    assert at == len(rows), "rows left after the last member"
print("user format: every field, member and reading in place")
