#!/usr/bin/env python3
"""Writes the report templates' XML parts under templates/ (packed into .docx at build time).

Each template is described below as paragraphs and tables. The reports move through a
template by lines (a paragraph is a line, a table row is a line) and address table cells, so
each description states where the report's moves land; check() verifies those lines.
Cover-page fields carry their label as a paragraph numbering label, which occupies no
character of the line: whatever column a move arrives with, the value starts right after it.

Run: python3 scripts/make_templates.py   (rewrites templates/*; review the diff)
"""
import os
from xml.sax.saxutils import escape

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "templates")
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
R = 'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
TEXT_WIDTH = 8306  # A4 with 3.17 cm side margins, in twentieths of a point


class P:
    """A paragraph: text, alignment, size (points), bold, heading font, numbering label."""

    def __init__(self, text="", align=None, size=None, bold=False, hei=False, label=None,
                 page_break=False, tiny=False, mark=None, indent=None, spacing=None, keep_next=False):
        self.text, self.align, self.size, self.bold, self.hei = text, align, size, bold, hei
        self.label, self.page_break, self.tiny, self.mark = label, page_break, tiny, mark
        self.indent, self.spacing, self.keep_next = indent, spacing, keep_next


class T:
    """A table: rows of cells; a cell is text or (text, span) or dict(text, span, bold, vmerge)."""

    def __init__(self, rows, grid, mark=None, header_rows=0):
        self.rows, self.grid, self.mark, self.header_rows = rows, grid, mark, header_rows


def run_props(size=None, bold=False, hei=False):
    props = []
    if hei:
        props.append('<w:rFonts w:ascii="SimHei" w:hAnsi="SimHei" w:eastAsia="黑体" w:hint="eastAsia"/>')
    if bold:
        props.append('<w:b/><w:bCs/>')
    if size:
        props.append(f'<w:sz w:val="{int(size * 2)}"/><w:szCs w:val="{int(size * 2)}"/>')
    return "<w:rPr>" + "".join(props) + "</w:rPr>" if props else ""


def paragraph_xml(p, labels):
    ppr = []
    if p.keep_next:  # on the same page as the paragraph after it
        ppr.append("<w:keepNext/>")
    if p.page_break:
        ppr.append("<w:pageBreakBefore/>")
    if p.label:
        labels.append(p.label)
        ppr.append(f'<w:numPr><w:ilvl w:val="0"/><w:numId w:val="{len(labels)}"/></w:numPr>')
    if p.tiny:
        ppr.append('<w:spacing w:before="0" w:after="0" w:line="40" w:lineRule="exact"/>')
    elif p.spacing:
        ppr.append(f'<w:spacing w:before="{p.spacing}" w:after="0"/>')
    if p.indent is not None:
        ppr.append(f'<w:ind w:left="{p.indent}"/>')
    if p.align:
        ppr.append(f'<w:jc w:val="{p.align}"/>')
    rpr = run_props(2 if p.tiny else p.size, p.bold, p.hei)
    if rpr:
        ppr.append(rpr)  # the paragraph mark's formatting: text typed into an empty line takes it
    xml = "<w:p>" + ("<w:pPr>" + "".join(ppr) + "</w:pPr>" if ppr else "")
    if p.text:
        xml += f'<w:r>{rpr}<w:t xml:space="preserve">{escape(p.text)}</w:t></w:r>'
    return xml + "</w:p>"


def cell_xml(cell, width, row_height):
    if isinstance(cell, str):
        cell = {"text": cell}
    elif isinstance(cell, tuple):
        cell = {"text": cell[0], "span": cell[1]}
    span = cell.get("span", 1)
    tcpr = f'<w:tcW w:w="{width}" w:type="dxa"/>'
    if span > 1:
        tcpr += f'<w:gridSpan w:val="{span}"/>'
    if cell.get("vmerge"):
        tcpr += f'<w:vMerge w:val="{cell["vmerge"]}"/>' if cell["vmerge"] == "restart" else "<w:vMerge/>"
    tcpr += '<w:vAlign w:val="center"/>'
    align = cell.get("align", "center" if cell.get("text") or cell.get("label") else "left")
    rpr = run_props(cell.get("size"), cell.get("bold", False), False)
    text = cell.get("text", "")
    runs = f'<w:r>{rpr}<w:t xml:space="preserve">{escape(text)}</w:t></w:r>' if text else ""
    keep = "<w:keepNext/>" if cell.get("keep_next") else ""  # a label row stays with its contents
    return (f"<w:tc><w:tcPr>{tcpr}</w:tcPr><w:p><w:pPr>{keep}<w:jc w:val=\"{align}\"/>{rpr}</w:pPr>"
            f"{runs}</w:p></w:tc>")


def table_xml(t):
    borders = "".join(f'<w:{side} w:val="single" w:sz="4" w:space="0" w:color="auto"/>'
                      for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    xml = ('<w:tbl><w:tblPr><w:tblW w:w="%d" w:type="dxa"/><w:jc w:val="center"/>'
           '<w:tblBorders>%s</w:tblBorders><w:tblLayout w:type="fixed"/></w:tblPr><w:tblGrid>'
           % (sum(t.grid), borders))
    xml += "".join(f'<w:gridCol w:w="{w}"/>' for w in t.grid) + "</w:tblGrid>"
    for r, row in enumerate(t.rows):
        xml += '<w:tr><w:trPr><w:trHeight w:val="454"/>'
        if r < t.header_rows:
            xml += "<w:tblHeader/>"
        xml += "</w:trPr>"
        column = 0
        for cell in row:
            span = cell.get("span", 1) if isinstance(cell, dict) else cell[1] if isinstance(cell, tuple) else 1
            xml += cell_xml(cell, sum(t.grid[column:column + span]), 454)
            column += span
        assert column == len(t.grid), f"row {r + 1} spans {column} of {len(t.grid)} columns"
        xml += "</w:tr>"
    return xml + "</w:tbl>"


def check(blocks, expected):
    """The line numbers of marked blocks, as the reports count lines."""
    line, table, found = 0, 0, {}
    for b in blocks:
        if isinstance(b, T):
            table += 1
            if b.mark:
                found[b.mark] = (line, table)
            line += len(b.rows)
        else:
            if b.mark:
                found[b.mark] = line
            line += 1
    for mark, where in expected.items():
        assert found.get(mark) == where, f"{mark}: expected {where}, found {found.get(mark)}"


def numbering_xml(labels):
    xml = f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:numbering {W}>'
    for i, label in enumerate(labels):
        xml += (f'<w:abstractNum w:abstractNumId="{i}"><w:multiLevelType w:val="singleLevel"/>'
                f'<w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="none"/><w:suff w:val="nothing"/>'
                f'<w:lvlText w:val="{escape(label)}%1"/><w:lvlJc w:val="left"/>'
                f'<w:pPr><w:ind w:left="1680" w:hanging="0"/></w:pPr>'
                f'<w:rPr><w:b w:val="0"/><w:sz w:val="30"/><w:szCs w:val="30"/></w:rPr></w:lvl></w:abstractNum>')
    for i in range(len(labels)):
        xml += f'<w:num w:numId="{i + 1}"><w:abstractNumId w:val="{i}"/></w:num>'
    return xml + "</w:numbering>"


def header_xml(text):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:hdr {W}><w:p><w:pPr>'
            f'<w:pBdr><w:bottom w:val="single" w:sz="4" w:space="1" w:color="auto"/></w:pBdr>'
            f'<w:jc w:val="center"/></w:pPr><w:r><w:rPr><w:sz w:val="18"/></w:rPr>'
            f'<w:t xml:space="preserve">{escape(text)}</w:t></w:r></w:p></w:hdr>')


def document_xml(blocks, labels):
    body = "".join(table_xml(b) if isinstance(b, T) else paragraph_xml(b, labels) for b in blocks)
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document {W} {R}><w:body>{body}'
            '<w:sectPr><w:headerReference w:type="default" r:id="rIdHeader"/>'
            '<w:footerReference w:type="default" r:id="rIdFooter"/>'
            '<w:pgSz w:w="11906" w:h="16838"/>'
            '<w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800" w:header="851" '
            'w:footer="992" w:gutter="0"/></w:sectPr></w:body></w:document>')


def write(name, blocks, header):
    labels = []
    folder = os.path.join(ROOT, name, "word")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "document.xml"), "w", encoding="utf-8") as f:
        f.write(document_xml(blocks, labels) + "\n")
    with open(os.path.join(folder, "numbering.xml"), "w", encoding="utf-8") as f:
        f.write(numbering_xml(labels) + "\n")
    with open(os.path.join(folder, "header1.xml"), "w", encoding="utf-8") as f:
        f.write(header_xml(header) + "\n")


def blank(n, tiny=False):
    return [P(tiny=tiny) for _ in range(n)]


def heading(text, page_break=False, mark=None):
    """A section heading, never left alone at the foot of a page."""
    return P(text, size=14, hei=True, page_break=page_break, mark=mark, spacing=120, keep_next=True)


def signatures():
    """The signature line, kept on one page with the blank line before it."""
    return [P(keep_next=True), body(SIGNATURES)]


def body(text, mark=None):
    return P(text, size=12, mark=mark)


def value(mark, size=12):
    """An empty line that a report fills: its text takes this size."""
    return P(mark=mark, size=size, align="left")


def field(label, mark):
    return P(label=label, mark=mark, size=15, indent=1680)


LABEL_VALUE = [1400, 2753, 1400, 2753]  # label, value, label, value


def pairs(rows, value_label=None):
    return [[{"text": a, "bold": True}, "", {"text": b, "bold": True}, ""] for a, b in rows]


def spanning(text, bold=False, columns=4, align=None):
    # A bold spanning row is the label of the row below it: the two share a page.
    cell = {"text": text, "span": columns, "bold": bold, "keep_next": bold}
    if align:
        cell["align"] = align
    return [cell]


SIGNATURES = "检测：" + " " * 14 + "审核：" + " " * 14 + "批准："
LAB = "工程质量检测中心"


def report1():
    blocks = [P(LAB, align="center", size=14, bold=True), *blank(2),
              P("编号：", align="right", size=12, mark="number"),                  # line 3, column 3
              *blank(2),
              P("检  测  报  告", align="center", size=36, bold=True, hei=True),   # line 6
              P(), P("（楼板厚度）", align="center", size=16), P(),
              field("工程名称：", "name"), field("施工单位：", "builder"), field("检测内容：", "content"),
              *blank(7),
              field("检测单位：", "lab"), field("报告日期：", "date"),            # lines 20, 21
              heading("一、工程概况", page_break=True),
              T([[{"text": k, "bold": True}, ""] for k in ("工程名称", "施工单位", "监理单位", "设计单位", "检测内容")],
                [2000, 6306], mark="table1"),                                       # lines 23-27
              P(), heading("二、工程及检测情况"),
              value("overview"),                                                  # line 30 (+ its line break)
              P(), heading("三、检测方法及依据"),
              body("    采用电磁感应法楼板厚度检测仪，在楼板上均匀布置测点，逐点测量楼板厚度。"),
              value("standard"),                                                  # line 34 (35): 检测依据
              P(), heading("四、检测结论"), body("    经检测，结果如下："),
              value("conclusion"),                                                # line 38 (39 after the break)
              *blank(5, tiny=True),
              body("五、检测仪器：", mark="instrument"),                          # line 44 (45), column 7
              *signatures()]
    check(blocks, {"number": 3, "name": 10, "builder": 11, "content": 12, "lab": 20, "date": 21,
                   "table1": (23, 1), "overview": 30, "standard": 34, "conclusion": 38, "instrument": 44})
    write("检测报告1", blocks, "楼板厚度检测报告")


def report2():
    blocks = [P(LAB, align="center", size=14, bold=True), P(),
              P("楼板厚度检测报告", align="center", size=26, bold=True, hei=True), *blank(3),
              P(" " * 21 + "报告编号：", align="right", size=12, mark="number"),  # line 6, column 26
              *blank(6),
              field("工程名称：", "name"), P(), field("委托单位：", "client"), P(),
              field("检测项目：", "item"), P(), field("检测方法：", "method"), P(),
              field("检测日期：", "date"),                                        # lines 13..21
              heading("一、工程基本情况", page_break=True),
              T([[{"text": k, "bold": True}, ""] for k in
                 ("工程名称", "建设单位", "施工单位", "设计单位", "监理单位", "监督单位", "工程地址")],
                [2000, 6306], mark="table1"),                                       # lines 23-29
              P(), heading("二、检测说明"),
              body("    1. 检测前对仪器进行了校准，仪器处于正常工作状态。"),
              body("    2. 测点在楼板上均匀布置，避开钢筋和预埋管线位置。"),
              body("    3. 厚度值以毫米计。"),
              P(), P(), heading("三、工程概况"),
              *blank(4, tiny=True),                                               # lines 38-41: four steps right
              value("overview"),                                                  # line 42 (+ its line break)
              P(), heading("四、检测方法"), value("method_text"),                  # line 45 (46)
              P(), heading("五、检测结论"), value("conclusion"),                   # line 48 (49)
              P(), heading("六、检测依据、仪器及人员"),
              T([[{"text": "", "align": "left"}] for _ in range(5)], [8306], mark="table2")]
    check(blocks, {"number": 6, "name": 13, "client": 15, "item": 17, "method": 19, "date": 21,
                   "table1": (23, 1), "overview": 42, "method_text": 45, "conclusion": 48, "table2": (51, 2)})
    write("检测报告2", blocks, "楼板厚度检测报告")


def report3():
    rows = pairs([("委托编号", "检测编号"), ("委托单位", "委托日期"), ("工程名称", "检测日期"), ("工程地点", "浇筑日期")])
    rows += [[{"text": "检测项目", "bold": True}, ("楼板厚度（电磁法）", 3)],
             [{"text": "仪器设备", "bold": True}, {"text": "", "span": 3, "align": "left"}],
             [{"text": "检测人员", "bold": True}, {"text": "", "span": 3, "align": "left"}],
             [{"text": "执行标准", "bold": True}, {"text": "", "span": 3, "align": "left"}],
             spanning("工程概况", bold=True), spanning("", align="left"),
             spanning("检测结论", bold=True), spanning("", align="left")]
    blocks = [P(LAB, align="center", size=14, bold=True),
              P("楼板厚度检测报告", align="center", size=22, bold=True, hei=True), P(),
              T(rows, LABEL_VALUE, mark="table1"), *signatures()]
    check(blocks, {"table1": (3, 1)})
    write("检测报告3", blocks, "楼板厚度检测报告")


def report4():
    # The project's table, then the member table, whose two heading rows repeat on every page it
    # spans (Word repeats only a table's first rows, so the two are tables of their own, kept
    # apart by a 1-point paragraph so that they do not merge).
    grid = [760, 1300, 960, 840, 840, 840, 800, 900, 1146]
    head = [("工程名称", "报告编号"), ("委托单位", "报告日期"), ("建设单位", "检测日期"), ("设计单位", "检测类别"),
            ("监理单位", "仪器编号"), ("施工单位", "检测依据")]
    info = [[{"text": a, "bold": True, "span": 2}, {"text": "", "span": 2}, {"text": b, "bold": True, "span": 2},
             {"text": "", "span": 3}] for a, b in head]
    rows = [[{"text": "序号", "bold": True, "vmerge": "restart"}, {"text": "构件编号", "bold": True, "vmerge": "restart"},
             {"text": "构件部位", "bold": True, "vmerge": "restart"}, {"text": "设计厚度(mm)", "bold": True, "span": 3},
             {"text": "测点数", "bold": True, "vmerge": "restart"}, {"text": "备注", "bold": True, "vmerge": "restart"},
             {"text": "合格率(%)", "bold": True, "vmerge": "restart"}]]
    rows.append([{"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"},
                 {"text": "测区一", "bold": True}, {"text": "测区二", "bold": True}, {"text": "测区三", "bold": True},
                 {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}])
    rows += [[{"text": "", "align": "center"} for _ in range(9)] for _ in range(10)]
    blocks = [P(LAB, align="center", size=14, bold=True),
              P("楼板厚度检测报告", align="center", size=22, bold=True, hei=True), P(),
              T(info, grid, mark="table1"), P(tiny=True), T(rows, grid, mark="table2", header_rows=2), *signatures()]
    check(blocks, {"table1": (3, 1), "table2": (10, 2)})
    write("检测报告4", blocks, "楼板厚度检测报告")


def regional(name, title):
    rows = pairs([("委托单位", "委托日期"), ("工程名称", "委托编号"), ("建设单位", "试验编号"), ("施工单位", "检测依据"),
                  ("监理单位", "检测日期"), ("设计单位", "检测仪器")])
    rows += [spanning("检测结果", bold=True), spanning("", align="left"),
             [{"text": "结论", "bold": True}, {"text": "", "span": 3, "align": "left"}]]
    blocks = [P(LAB, align="center", size=14, bold=True), P(title, align="center", size=22, bold=True, hei=True), P(),
              T(rows, LABEL_VALUE, mark="table1"), *signatures()]
    check(blocks, {"table1": (3, 1)})
    write(name, blocks, title)


def data_table():
    blocks = [P(size=12)]
    write("表格", blocks, "楼板厚度检测原始数据")


if __name__ == "__main__":
    report1()
    report2()
    report3()
    report4()
    regional("甘肃报告", "混凝土楼板厚度检测报告")
    regional("吉林报告", "楼板厚度检测报告（结构实体）")
    data_table()
