#!/usr/bin/python3
"""Reads the reports, data table and workbook that `kro` writes with independent readers
(python-docx, openpyxl) and checks that each value stands where its label says.

Usage: check_office_files.py KRO SAMPLE.KRO
"""
import os
import struct
import subprocess
import sys
import tempfile

import docx
import openpyxl

KRO, SAMPLE = sys.argv[1], sys.argv[2]
W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"

FILES = ["report1ini", "report2ini", "report3ini", "report4ini", "reportGansuini", "reportJilinini"]
DATES = {"报告日期", "施工日期", "检测日期", "委托日期", "浇筑日期"}
KEYS = [
    ["工程名称", "委托单位", "施工单位", "监理单位", "检测仪器", "检测依据", "报告编号", "报告日期", "设计单位", "委托编号",
     "检测单位", "检测内容", "结构类别", "工程地址", "强度等级", "施工日期"],
    ["报告编号", "工程名称", "委托单位", "检测项目", "检测方法", "建设单位", "检测日期", "施工单位", "设计单位", "监理单位",
     "监督单位", "工程地址", "检测依据", "检测仪器", "检测人员", "结构类别", "强度等级"],
    ["委托编号", "检测编号", "委托单位", "委托日期", "工程名称", "检测日期", "工程地点", "浇筑日期", "检测项目", "施工单位",
     "仪器设备", "执行标准", "结构类别", "强度等级"],
    ["工程名称", "委托单位", "报告编号", "建设单位", "设计单位", "施工单位", "监理单位", "报告日期", "检测仪器", "仪器编号",
     "检测依据", "检测日期"],
] + [["工程名称", "委托单位", "试验编号", "建设单位", "设计单位", "施工单位", "监理单位", "委托日期", "委托编号", "检测仪器",
      "检测依据", "检测日期"]] * 2

# label paragraphs (cover fields) and label cells (tables) of each format: label -> key or fixed text
COVER = [
    {"工程名称：": "工程名称", "施工单位：": "施工单位", "检测内容：": "检测内容", "检测单位：": "检测单位"},
    {"工程名称：": "工程名称", "委托单位：": "委托单位", "检测日期：": "检测日期", "检测项目：": "检测项目",
     "检测方法：": "检测方法"},
    {}, {}, {}, {},
]
CELLS = [
    ["工程名称", "施工单位", "监理单位", "设计单位", "检测内容"],
    ["工程名称", "建设单位", "施工单位", "设计单位", "监理单位", "监督单位", "工程地址"],
    ["委托编号", "检测编号", "委托单位", "委托日期", "工程名称", "检测日期", "工程地点", "浇筑日期", "仪器设备", "执行标准"],
    ["工程名称", "报告编号", "委托单位", "报告日期", "建设单位", "检测日期", "设计单位", "监理单位", "仪器编号", "施工单位",
     "检测依据"],
] + [["委托单位", "委托日期", "工程名称", "委托编号", "建设单位", "试验编号", "施工单位", "检测依据", "监理单位", "检测日期",
      "设计单位", "检测仪器"]] * 2


# What a field shows when nothing gives it a value: the text the reports printed before it existed.
STANDARD = "《混凝土结构工程施工质量验收规范》（GB50204-2002）"
DEFAULTS = {"检测依据": STANDARD, "执行标准": STANDARD, "检测内容": "楼板厚度检测", "检测项目": "楼板厚度检测",
            "检测方法": "电磁法检测", "检测仪器": "楼板厚度测试仪", "仪器设备": "楼板厚度测试仪"}


def expected_value(vals, key):
    return vals[key] if vals[key] else DEFAULTS.get(key, "")


def values(format_index, length):
    out = {}
    for n, key in enumerate(KEYS[format_index]):
        if key in DATES:
            out[key] = "2005年 3月 7日" if length else ""
        elif key == "强度等级":
            out[key] = "C30" if length else ""
        else:
            stem = f"{key}{n}"
            out[key] = (stem * (length // len(stem) + 1))[:length]
    return out


def with_control_characters(vals):
    """Every text value with a manual line break, a tab, a form feed and other control characters."""
    out = {}
    for key, value in vals.items():
        out[key] = value if key in DATES or key == "强度等级" else f"甲\x0b乙\x01丙\t丁\x0c戊\x1f{value}"
    return out


def shown(value):
    """What a reader shows of a value written with control characters."""
    return value.replace("\x0b", "\n").replace("\x0c", "\n").replace("\x01", "").replace("\x1f", "")


def write_parameters(folder, format_index, vals):
    lines = ["[Data]"] + [f"{k}={v}" for k, v in vals.items()]
    if format_index == 0:
        lines.append("报告格式=0")
    with open(os.path.join(folder, FILES[format_index] + ".ini"), "wb") as f:
        f.write("\r\n".join(lines).encode("gbk") + b"\r\n")


def numbering_labels(document):
    part = document.part.numbering_part.element
    abstract = {}
    for a in part.findall(W + "abstractNum"):
        lvl = a.find(W + "lvl")
        text = lvl.find(W + "lvlText").get(W + "val")
        abstract[a.get(W + "abstractNumId")] = text.replace("%1", "")
    return {n.get(W + "numId"): abstract[n.find(W + "abstractNumId").get(W + "val")] for n in part.findall(W + "num")}


def paragraph_label(paragraph, labels):
    num = paragraph._p.find(f"{W}pPr/{W}numPr/{W}numId")
    return labels.get(num.get(W + "val"), "") if num is not None else ""


def unique_cells(row):
    seen, cells = set(), []
    for cell in row.cells:  # python-docx repeats a merged cell once per grid column
        if id(cell._tc) not in seen:
            seen.add(id(cell._tc))
            cells.append(cell)
    return cells


def check_report(path, format_index, vals, failures):
    document = docx.Document(path)
    labels = numbering_labels(document)
    found = {}
    for p in document.paragraphs:
        label = paragraph_label(p, labels)
        if label:
            found[label] = p.text
    for label, key in COVER[format_index].items():
        expected = expected_value(vals, key)
        if found.get(label) != expected:
            failures.append(f"format {format_index + 1}: {label} holds {found.get(label)!r}, expected {expected!r}")
    cells = {}
    for row in document.tables[0].rows:
        row_cells = unique_cells(row)
        for i, cell in enumerate(row_cells[:-1]):
            cells.setdefault(cell.text, row_cells[i + 1].text)
    for label in CELLS[format_index]:
        if cells.get(label) != expected_value(vals, label):
            failures.append(f"format {format_index + 1}: cell {label} is beside {cells.get(label)!r}, "
                            f"expected {expected_value(vals, label)!r}")
    text = "\n".join(p.text for p in document.paragraphs) + "\n".join(
        c.text for t in document.tables for r in t.rows for c in unique_cells(r))
    if "本次检测的" not in text and format_index != 3:
        failures.append(f"format {format_index + 1}: no conclusion")
    if format_index == 3:
        # The member table's two heading rows repeat on every page; one row per ticked member, its
        # code whole in the code column.
        members = document.tables[1].rows
        headed = [row._tr.find(f"{W}trPr/{W}tblHeader") is not None for row in members]
        if headed[:2] != [True, True] or any(headed[2:]):
            failures.append(f"format 4: the member table's heading rows do not repeat alone: {headed[:4]}")
        codes = [unique_cells(row)[1].text for row in members[2:]]
        if codes[:3] != ["0001", "0002", "0003"]:
            failures.append(f"format 4: member rows hold codes {codes[:3]}")
    if format_index >= 2:  # the signature line follows the table: its last row stays with it
        last_row = document.tables[1 if format_index == 3 else 0].rows[-1]._tr
        if last_row.find(f"{W}tc/{W}p/{W}pPr/{W}keepNext") is None:
            failures.append(f"format {format_index + 1}: the table's last row is not kept with the signatures")


# Schema order of the property elements we write (ECMA-376 CT_RPr, CT_PPrBase, CT_TrPr); others
# may sit between them, but these must keep their relative order.
RUN_ORDER = ["rStyle", "rFonts", "b", "bCs", "i", "iCs", "caps", "smallCaps", "strike", "dstrike", "outline",
             "shadow", "emboss", "imprint", "noProof", "snapToGrid", "vanish", "webHidden", "color", "spacing",
             "w", "kern", "position", "sz", "szCs", "highlight", "u", "effect", "bdr", "shd", "fitText",
             "vertAlign", "rtl", "cs", "em", "lang", "eastAsianLayout", "specVanish"]
PARAGRAPH_ORDER = ["pStyle", "keepNext", "keepLines", "pageBreakBefore", "framePr", "widowControl", "numPr",
                   "suppressLineNumbers", "pBdr", "shd", "tabs", "suppressAutoHyphens", "kinsoku", "wordWrap",
                   "overflowPunct", "topLinePunct", "autoSpaceDE", "autoSpaceDN", "bidi", "adjustRightInd",
                   "snapToGrid", "spacing", "ind", "contextualSpacing", "mirrorIndents", "suppressOverlap", "jc",
                   "textDirection", "textAlignment", "textboxTightWrap", "outlineLvl", "divId", "cnfStyle", "rPr",
                   "sectPr", "pPrChange"]
ROW_ORDER = ["cnfStyle", "divId", "gridBefore", "gridAfter", "wBefore", "wAfter", "cantSplit", "trHeight",
             "tblHeader", "tblCellSpacing", "jc", "hidden"]


def check_element_order(path, failures):
    document = docx.Document(path)
    for tag, order in (("rPr", RUN_ORDER), ("pPr", PARAGRAPH_ORDER), ("trPr", ROW_ORDER)):
        for props in document.element.body.iter(W + tag):
            names = [child.tag[len(W):] for child in props if child.tag.startswith(W)]
            ranks = [order.index(n) for n in names if n in order]
            if ranks != sorted(ranks):
                failures.append(f"{os.path.basename(path)}: {tag} children out of schema order: {names}")
                return


def check_merged_cells(path, failures):
    """A merged cell (w:gridSpan n) is as wide as the n grid columns it covers, and no row holds
    more grid columns than its table has."""
    document = docx.Document(path)
    for table in document.element.body.iter(W + "tbl"):
        grid = [int(c.get(W + "w")) for c in table.find(W + "tblGrid").findall(W + "gridCol")]
        for row in table.findall(W + "tr"):
            column = 0
            for cell in row.findall(W + "tc"):
                span_element = cell.find(f"{W}tcPr/{W}gridSpan")
                span = int(span_element.get(W + "val")) if span_element is not None else 1
                width_element = cell.find(f"{W}tcPr/{W}tcW")
                if span > 1 and width_element is not None:
                    expected = sum(grid[column:column + span])
                    if int(width_element.get(W + "w")) != expected:
                        failures.append(f"{os.path.basename(path)}: a cell spanning {span} columns is "
                                        f"{width_element.get(W + 'w')} wide, not {expected}")
                        return
                column += span
            if column > len(grid):
                failures.append(f"{os.path.basename(path)}: a row covers {column} of {len(grid)} grid columns")
                return


def check_data_table(path, failures):
    document = docx.Document(path)
    if document.paragraphs[0].text != "数据列表：":
        failures.append("data table: no heading")
    rows = document.tables[0].rows
    header = unique_cells(rows[0])
    if len(header) != 1 or not header[0].text.startswith("0001(1#楼一层楼板)         设计厚度:120"):
        failures.append(f"data table: header row {[c.text for c in header]!r}")
    if len(unique_cells(rows[1])) != 10:
        failures.append("data table: a reading row without ten cells")
    # Member 0001 (120 -5/+8) has the reading 114: red; 116 is not.
    red = {r.text for row in rows[:4] for cell in unique_cells(row) for p in cell.paragraphs for r in p.runs
           if r.font.color is not None and r.font.color.rgb is not None and str(r.font.color.rgb) == "FF0000"}
    if "114" not in red or "116" in red:
        failures.append(f"data table: red readings of 0001 are {sorted(red)}")
    first_row = rows[0]._tr
    if first_row.find(f"{W}trPr/{W}cantSplit") is None or first_row.find(f"{W}tc/{W}p/{W}pPr/{W}keepNext") is None:
        failures.append("data table: a member's heading row is not kept with its readings")


def check_long_member(work, failures):
    """A member of 600 readings: its block is a table of its own whose heading row repeats."""
    raw = os.path.join(work, "raw")
    subprocess.run([KRO, "sample", "--raw", "-o", raw], check=True)
    member = os.path.join(raw, "0002.DAT")
    with open(member, "rb") as f:
        data = bytearray(f.read())
    # The reading count at byte 38, the readings (16-bit) from byte 74.
    count = struct.unpack_from("<i", data, 38)[0]
    readings = [struct.unpack_from("<h", data, 74 + 2 * i)[0] for i in range(count)]
    struct.pack_into("<i", data, 38, 600)
    data = data[:74] + b"".join(struct.pack("<h", readings[i % count]) for i in range(600))
    with open(member, "wb") as f:
        f.write(data)
    project = os.path.join(work, "long.KRO")
    out = os.path.join(work, "out-long")
    os.makedirs(out)
    subprocess.run([KRO, "convert", os.path.join(raw, "SAMPLE.DEX"), "-o", project], check=True)
    subprocess.run([KRO, "report", project, "-o", out, "--format", "1", "--config-dir", out], check=True)
    tables = docx.Document(os.path.join(out, "数据表格.docx")).tables
    if len(tables) != 3 or len(tables[1].rows) != 61:
        failures.append(f"long member: tables of {[len(t.rows) for t in tables]} rows")
        return
    heading = tables[1].rows[0]
    if heading._tr.find(f"{W}trPr/{W}tblHeader") is None or not heading.cells[0].text.startswith("0002"):
        failures.append("long member: its heading row does not repeat on every page")
    if any(row._tr.find(f"{W}trPr/{W}tblHeader") is not None for row in tables[0].rows):
        failures.append("long member: a short member's heading is marked to repeat")
    readings_shown = sum(1 for row in tables[1].rows[1:] for c in unique_cells(row) if c.text)
    if readings_shown != 600:
        failures.append(f"long member: {readings_shown} of 600 readings in its table")


def check_workbook(path, failures):
    book = openpyxl.load_workbook(path)
    if book.sheetnames != ["报表1"]:
        failures.append(f"workbook: sheets {book.sheetnames}")
    sheet = book["报表1"]
    if sheet["A1"].value != "0001(1#楼一层楼板)" or sheet["D1"].value != "设计厚度:120 mm":
        failures.append(f"workbook: header {sheet['A1'].value!r} {sheet['D1'].value!r}")
    if "A1:C1" not in [str(r) for r in sheet.merged_cells.ranges]:
        failures.append("workbook: A1:C1 not merged")
    if sheet["A4"].value is None or sheet["A5"].value is None:
        failures.append("workbook: readings missing")
    if not isinstance(sheet["A2"].value, (int, float)):
        failures.append(f"workbook: reading A2 is {type(sheet['A2'].value).__name__}, not a number")
    if not isinstance(sheet["A1"].value, str):
        failures.append("workbook: the member heading is not text")
    if str(sheet.page_setup.paperSize) != "9" or not sheet.sheet_properties.pageSetUpPr.fitToPage \
            or sheet.page_setup.fitToWidth not in (None, 1, "1") or sheet.page_setup.fitToHeight not in (0, "0"):
        failures.append("workbook: not set to print on A4, one page wide")


def check_recorded_workbook(work, failures):
    """A project made from the instrument's files, one parameter set since: the workbook lists each
    reading's origin and the modification log."""
    raw = os.path.join(work, "recorded-raw")
    project = os.path.join(work, "recorded.KRO")
    subprocess.run([KRO, "sample", "--raw", "-o", raw], check=True)
    subprocess.run([KRO, "convert", os.path.join(raw, "SAMPLE.DEX"), "-o", project], check=True)
    edited = os.path.join(work, "recorded-edited.KRO")
    subprocess.run([KRO, "params", project, "--set", "工程名称=一号楼", "-o", edited], check=True,
                   env={**os.environ, "KRO_USER": "王工"})
    path = os.path.join(work, "recorded.xlsx")
    subprocess.run([KRO, "excel", edited, "-o", path], check=True)
    book = openpyxl.load_workbook(path)
    if book.sheetnames != ["报表1", "测点来源", "修改记录"]:
        failures.append(f"recorded workbook: sheets {book.sheetnames}")
        return
    origins = [[c.value for c in row] for row in book["测点来源"].iter_rows(min_row=1, max_row=2)]
    if origins[0] != ["测区编号", "测点号", "厚度值", "来源", "修改过"] or origins[1][:4] != ["0001", 1, 116, "仪器文件"]:
        failures.append(f"recorded workbook: origins {origins}")
    log = [[c.value for c in row] for row in book["修改记录"].iter_rows(min_row=2)]
    if len(log) != 2 or log[0][7] != "记录开始" or log[1][2] != "王工" or log[1][7:10] != ["工程名称", None, "一号楼"]:
        failures.append(f"recorded workbook: log {log}")


def bare_sample(work):
    """The sample as a file of an earlier version, without parameters: the settings files give them."""
    with open(SAMPLE, "rb") as f:
        data = f.read()
    path = os.path.join(work, "bare.KRO")
    with open(path, "wb") as f:
        f.write(data[: data.index(b"KROPARAM")])
    return path


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        bare = bare_sample(work)
        for length in (0, 12, 300):
            for format_index in range(6):
                config = os.path.join(work, f"config-{length}-{format_index}")
                out = os.path.join(work, f"out-{length}-{format_index}")
                os.makedirs(config)
                os.makedirs(out)
                vals = values(format_index, length)
                project = bare
                if length == 12:
                    # The values stored in the project itself, as the dialog stores them.
                    project = os.path.join(work, f"project-{format_index}.KRO")
                    sets = [arg for k, v in vals.items() for arg in ("--set", f"{k}={v}")]
                    subprocess.run([KRO, "params", SAMPLE, *sets, "-o", project, "--config-dir", config], check=True)
                else:
                    write_parameters(config, format_index, vals)
                subprocess.run([KRO, "report", project, "-o", out, "--format", str(format_index + 1),
                                "--config-dir", config], check=True)
                check_report(os.path.join(out, "楼板仪报告文档.docx"), format_index, vals, failures)
                check_element_order(os.path.join(out, "楼板仪报告文档.docx"), failures)
                check_merged_cells(os.path.join(out, "楼板仪报告文档.docx"), failures)
                if format_index == 0:
                    check_data_table(os.path.join(out, "数据表格.docx"), failures)
                    check_element_order(os.path.join(out, "数据表格.docx"), failures)
                    check_merged_cells(os.path.join(out, "数据表格.docx"), failures)
        # Control characters in every parameter: the documents must still open everywhere.
        for format_index in range(6):
            config = os.path.join(work, f"config-control-{format_index}")
            out = os.path.join(work, f"out-control-{format_index}")
            os.makedirs(config)
            os.makedirs(out)
            vals = with_control_characters(values(format_index, 12))
            write_parameters(config, format_index, vals)
            subprocess.run([KRO, "report", bare, "-o", out, "--format", str(format_index + 1),
                            "--config-dir", config], check=True)
            try:
                check_report(os.path.join(out, "楼板仪报告文档.docx"), format_index,
                             {k: shown(v) for k, v in vals.items()}, failures)
            except Exception as error:  # the reader refused the document
                failures.append(f"format {format_index + 1} with control characters: {error}")
        check_long_member(work, failures)
        workbook = os.path.join(work, "楼板仪数据.xlsx")
        subprocess.run([KRO, "excel", SAMPLE, "-o", workbook], check=True)
        check_workbook(workbook, failures)
        check_recorded_workbook(work, failures)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
