#!/usr/bin/env python3
"""Writes the report templates' XML parts under templates/ (packed into .docx at build time).

Each template is described below as paragraphs and tables whose texts hold the fields the
report fills ({{工程名称}}, {{#构件}} … {{/构件}}, …: report/template_filler.h has the language).
A field takes the formatting of the run it stands in. Cover-page fields carry their label as a
paragraph numbering label, so that the value starts right after the label however long it is.

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
                 page_break=False, tiny=False, indent=None, spacing=None, keep_next=False, run=None):
        self.text, self.align, self.size, self.bold, self.hei = text, align, size, bold, hei
        self.label, self.page_break, self.tiny = label, page_break, tiny
        self.indent, self.spacing, self.keep_next = indent, spacing, keep_next
        self.run = run  # the text's own run properties (XML), when they differ from the mark's


class T:
    """A table: rows of cells; a cell is text or (text, span) or dict(text, span, bold, vmerge,
    align, paragraphs, keep_next); a row is a list of cells or dict(cells, cant_split)."""

    def __init__(self, rows, grid, header_rows=0, centered=True, row_height=454):
        self.rows, self.grid, self.header_rows = rows, grid, header_rows
        self.centered, self.row_height = centered, row_height


def run_props(size=None, bold=False, hei=False):
    props = []
    if hei:
        props.append('<w:rFonts w:ascii="SimHei" w:hAnsi="SimHei" w:eastAsia="黑体" w:hint="eastAsia"/>')
    if bold:
        props.append('<w:b/><w:bCs/>')
    if size:
        props.append(f'<w:sz w:val="{int(size * 2)}"/><w:szCs w:val="{int(size * 2)}"/>')
    return "<w:rPr>" + "".join(props) + "</w:rPr>" if props else ""


def runs_xml(text, rpr):
    """A run of text; line breaks within it become breaks."""
    if not text:
        return ""
    pieces = text.split("\n")
    body = '<w:br/>'.join(f'<w:t xml:space="preserve">{escape(piece)}</w:t>' for piece in pieces)
    return f"<w:r>{rpr}{body}</w:r>"


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
    if p.run is None:
        xml += runs_xml(p.text, rpr)
    else:
        # Text of its own formatting; a line break within it keeps the paragraph mark's.
        xml += f"<w:r>{rpr}<w:br/></w:r>".join(runs_xml(piece, p.run) for piece in p.text.split("\n"))
    return xml + "</w:p>"


def cell_xml(cell, width):
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
    if cell.get("valign", True):
        tcpr += '<w:vAlign w:val="center"/>'
    align = cell.get("align", "center" if cell.get("text") or cell.get("label") else "left")
    rpr = run_props(cell.get("size"), cell.get("bold", False), False)
    keep = "<w:keepNext/>" if cell.get("keep_next") else ""  # a label row stays with its contents
    paragraphs = cell.get("paragraphs", [cell.get("text", "")])
    return (f"<w:tc><w:tcPr>{tcpr}</w:tcPr>" +
            "".join(f"<w:p><w:pPr>{keep}<w:jc w:val=\"{align}\"/>{rpr}</w:pPr>{runs_xml(text, rpr)}</w:p>"
                    for text in paragraphs) + "</w:tc>")


def table_xml(t):
    borders = "".join(f'<w:{side} w:val="single" w:sz="4" w:space="0" w:color="auto"/>'
                      for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    jc = '<w:jc w:val="center"/>' if t.centered else ""
    xml = ('<w:tbl><w:tblPr><w:tblW w:w="%d" w:type="dxa"/>%s<w:tblBorders>%s</w:tblBorders>'
           '<w:tblLayout w:type="fixed"/></w:tblPr><w:tblGrid>' % (sum(t.grid), jc, borders))
    xml += "".join(f'<w:gridCol w:w="{w}"/>' for w in t.grid) + "</w:tblGrid>"
    for r, row in enumerate(t.rows):
        cells = row["cells"] if isinstance(row, dict) else row
        trpr = ""
        if isinstance(row, dict) and row.get("cant_split"):
            trpr += "<w:cantSplit/>"
        if t.row_height:
            trpr += f'<w:trHeight w:val="{t.row_height}"/>'
        if r < t.header_rows:
            trpr += "<w:tblHeader/>"
        xml += "<w:tr>" + (f"<w:trPr>{trpr}</w:trPr>" if trpr else "")
        column = 0
        for cell in cells:
            span = cell.get("span", 1) if isinstance(cell, dict) else cell[1] if isinstance(cell, tuple) else 1
            xml += cell_xml(cell, sum(t.grid[column:column + span]))
            column += span
        assert column == len(t.grid), f"row {r + 1} spans {column} of {len(t.grid)} columns"
        xml += "</w:tr>"
    return xml + "</w:tbl>"


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
    """The format's title over a line; an issued report's number and revision above it."""
    issued = "{{?版本}}{{?报告编号}}报告编号：{{报告编号}}  第 {{版本}} 版"
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:hdr {W}>'
            f'<w:p><w:pPr><w:jc w:val="right"/></w:pPr><w:r><w:rPr><w:sz w:val="18"/></w:rPr>'
            f'<w:t xml:space="preserve">{escape(issued)}</w:t></w:r></w:p><w:p><w:pPr>'
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


def heading(text, page_break=False):
    """A section heading, never left alone at the foot of a page."""
    return P(text, size=14, hei=True, page_break=page_break, spacing=120, keep_next=True)


def signatures():
    """The signature line, kept on one page with the blank line before it."""
    return [P("{{?代替}}本报告代替 {{代替}}，原报告作废。", size=10.5, keep_next=True),
            P("{{?仪器证书}}检测仪器校准证书：{{仪器证书}}，有效期至 {{校准有效期}}", size=10.5, keep_next=True),
            P(keep_next=True), body(SIGNATURES)]


def body(text):
    return P(text, size=12)


def value(text, size=12, run=None):
    """A line of its own that the report fills: its text takes this size."""
    return P(text, size=size, align="left", run=run)


def field(label, text, run=None):
    return P(text, label=label, size=15, indent=1680, run=run)


def rpr(*props):
    return "<w:rPr>" + "".join(props) + "</w:rPr>"


NOT_BOLD = '<w:b w:val="0"/><w:bCs w:val="0"/>'
SIZE = lambda points: f'<w:sz w:val="{points * 2}"/><w:szCs w:val="{points * 2}"/>'  # noqa: E731
SONG = '<w:rFonts w:ascii="宋体" w:eastAsia="宋体" w:hAnsi="宋体"/>'
UNDERLINED = rpr(NOT_BOLD, SIZE(15), '<w:u w:val="single"/>')  # report 1's cover values
PLAIN = rpr(NOT_BOLD, SIZE(15))                                 # report 2's cover values
BODY = rpr(SONG, NOT_BOLD, SIZE(14))                            # the overview sentence

LABEL_VALUE = [1400, 2753, 1400, 2753]  # label, value, label, value


def cells(text):
    """A value cell: left-aligned, whatever it holds."""
    return {"text": text, "align": "left"}


def pairs(rows):
    """Label, value, label, value: the values are fields of the labels' names."""
    return [[{"text": a, "bold": True}, cells(f"{{{{{va}}}}}"), {"text": b, "bold": True}, cells(f"{{{{{vb}}}}}")]
            for (a, va), (b, vb) in rows]


def spanning(text, bold=False, columns=4, align=None):
    # A bold spanning row is the label of the row below it: the two share a page.
    cell = {"text": text, "span": columns, "bold": bold, "keep_next": bold}
    if align:
        cell["align"] = align
    return [cell]


def last_row(cells):
    """The last row of a table followed by the signature line: it stays on the page with it."""
    for cell in cells:
        cell["keep_next"] = True
    return {"cells": cells, "cant_split": True}


SIGNATURES = "检测：{{检测人}}" + " " * 14 + "审核：{{审核人}}" + " " * 14 + "批准：{{批准人}}"


def lab():
    """The heading of every format: an issued report's anti-counterfeit code at the right, then the
    office's 检测单位 when set, the fixed name otherwise."""
    return [P("{{?校验码}}{{图:校验码 25x25}}", align="right"),
            P("{{?密钥指纹}}防伪校验码  密钥指纹 {{密钥指纹}}", align="right", size=7),
            P("{{?检测单位}}{{检测单位}}", align="center", size=14, bold=True),
            P("{{^检测单位}}工程质量检测中心", align="center", size=14, bold=True)]
OVERVIEW = ("    {{工程名称}}工程位于{{工程地址}}，为{{结构类别}}结构。由{{施工单位}}施工，开工时间为%s。"
            "根据设计要求，混凝土设计强度等级为{{强度等级}}。\n"
            "    受{{委托单位}}委托，我所对{{结构类别}}楼板厚度进行了检测。 ")
# The conclusion by readings, or (under a rule that judges members by their means) by members;
# the rule named beside it in every format.
CONCLUSION = ("{{^按构件判定}}    本次检测的{{工程名称}}工程楼板厚度共计{{测点总数}}点，其中合格点{{合格点数}}个，合格点率为"
              "{{合格率}}%，{{工程名称}}工程的楼板厚度检测结果为{{结论}}。")
MEMBER_CONCLUSION = ("{{?按构件判定}}    本次检测的{{工程名称}}工程楼板厚度共抽查{{构件数}}个构件（{{测点总数}}点），"
                     "以各构件测点的平均值判定，其中合格构件{{合格构件数}}个，合格率为{{合格率}}%，"
                     "{{工程名称}}工程的楼板厚度检测结果为{{结论}}。")
RULE_LINE = "    判定规则：{{判定说明}}。"
SAMPLES = "{{?二次抽样}}    {{二次抽样}}。"
MEMBER_METHOD = "{{?按构件判定}}    {{判定方法}}{{抽样方法}}"


def report1():
    blocks = [*lab(), *blank(2),
              P("编号：{{报告编号}}", align="right", size=12),
              *blank(2),
              P("检  测  报  告", align="center", size=36, bold=True, hei=True),
              P(), P("（楼板厚度）", align="center", size=16), P(),
              field("工程名称：", "{{工程名称}}", UNDERLINED), field("施工单位：", "{{施工单位}}", UNDERLINED),
              field("检测内容：", "{{检测内容}}", UNDERLINED),
              *blank(7),
              field("检测单位：", "{{检测单位}}"), field("报告日期：", "{{报告日期简写}}"),
              heading("一、工程概况", page_break=True),
              T([[{"text": k, "bold": True}, cells(f"{{{{{k}}}}}")]
                 for k in ("工程名称", "施工单位", "监理单位", "设计单位", "检测内容")], [2000, 6306]),
              P(), heading("二、工程及检测情况"),
              value(OVERVIEW % "{{施工日期}}", run=BODY),
              P(), heading("三、检测方法及依据"),
              body("    采用电磁感应法楼板厚度检测仪，在楼板上均匀布置测点，逐点测量楼板厚度。"),
              value(MEMBER_METHOD),
              value("    检测依据：{{检测依据}}。"),
              P(), heading("四、检测结论"), body("    经检测，结果如下："),
              value(CONCLUSION), value(MEMBER_CONCLUSION), value(SAMPLES), value(RULE_LINE),
              *blank(5, tiny=True),
              body("五、检测仪器：{{检测仪器}}"),
              *signatures()]
    write("检测报告1", blocks, "楼板厚度检测报告")


def report2():
    blocks = [*lab(), P(),
              P("楼板厚度检测报告", align="center", size=26, bold=True, hei=True), *blank(3),
              P(" " * 21 + "报告编号：{{报告编号}}", align="right", size=12),
              *blank(6),
              field("工程名称：", "{{工程名称}}", PLAIN), P(), field("委托单位：", "{{委托单位}}", PLAIN), P(),
              field("检测项目：", "{{检测项目}}", PLAIN), P(), field("检测方法：", "{{检测方法}}", PLAIN), P(),
              field("检测日期：", "{{检测日期}}", PLAIN),
              heading("一、工程基本情况", page_break=True),
              T([[{"text": k, "bold": True}, cells(f"{{{{{k}}}}}")] for k in
                 ("工程名称", "建设单位", "施工单位", "设计单位", "监理单位", "监督单位", "工程地址")],
                [2000, 6306]),
              P(), heading("二、检测说明"),
              body("    1. 检测前对仪器进行了校准，仪器处于正常工作状态。"),
              body("    2. 测点在楼板上均匀布置，避开钢筋和预埋管线位置。"),
              body("    3. 厚度值以毫米计。"),
              P(), P(), heading("三、工程概况"),
              *blank(4, tiny=True),
              value(OVERVIEW % "{{检测日期}}", run=BODY),
              P(), heading("四、检测方法"), value("本次检测采用电磁法检测楼板厚度。"), value(MEMBER_METHOD),
              P(), heading("五、检测结论"), value(CONCLUSION), value(MEMBER_CONCLUSION), value(SAMPLES),
              value(RULE_LINE),
              P(), heading("六、检测依据、仪器及人员"),
              T([[{"paragraphs": [title, "   " + text, "", "", ""], "align": "left"}]
                 for title, text in (("检测依据：", "{{检测依据}}"), ("检测仪器及设备：", "{{检测仪器}}"),
                                     ("检测时间及检测环境：", "{{检测日期}}；"),
                                     ("参加检测人员：", "{{检测人员}}"))] +
                [[{"paragraphs": ["主检人：" + " " * 24 + "审定人：" + " " * 17, "核对人： " + " " * 23 + "批准人：",
                                  "", ""], "align": "left"}]],
                [8306])]
    write("检测报告2", blocks, "楼板厚度检测报告")


def report3():
    rows = pairs([(("委托编号", "委托编号"), ("检测编号", "检测编号")), (("委托单位", "委托单位"), ("委托日期", "委托日期")),
                  (("工程名称", "工程名称"), ("检测日期", "检测日期")), (("工程地点", "工程地点"), ("浇筑日期", "浇筑日期"))])
    rows += [[{"text": "检测项目", "bold": True}, {"text": "{{检测项目}}", "span": 3}],
             [{"text": "仪器设备", "bold": True}, {"text": "{{仪器设备}}", "span": 3, "align": "left"}],
             [{"text": "检测人员", "bold": True},
              {"text": "单位：" + " " * 10 + "姓名：" + " " * 10 + "编号：", "span": 3, "align": "left"}],
             [{"text": "执行标准", "bold": True}, {"text": "{{执行标准}}", "span": 3, "align": "left"}],
             spanning("工程概况", bold=True), spanning(OVERVIEW % "{{检测日期}}", align="left"),
             spanning("检测结论", bold=True), spanning(CONCLUSION, align="left"),
             spanning(MEMBER_CONCLUSION, align="left"), spanning(SAMPLES, align="left"),
             last_row(spanning(RULE_LINE, align="left"))]
    blocks = [*lab(),
              P("楼板厚度检测报告", align="center", size=22, bold=True, hei=True), P(),
              T(rows, LABEL_VALUE), *signatures()]
    write("检测报告3", blocks, "楼板厚度检测报告")


def report4():
    # The project's table, then the member table, whose two heading rows repeat on every page it
    # spans (Word repeats only a table's first rows, so the two are tables of their own, kept
    # apart by a 1-point paragraph so that they do not merge). The member rows: one per ticked
    # member, at least ten, the last kept with the signature line.
    grid = [760, 1300, 960, 840, 840, 840, 800, 900, 1146]
    head = [("工程名称", "报告编号"), ("委托单位", "报告日期"), ("建设单位", "检测日期"), ("设计单位", "检测类别"),
            ("监理单位", "仪器编号"), ("施工单位", "检测依据")]
    value_of = {"检测类别": "抽检"}
    info = [[{"text": a, "bold": True, "span": 2}, {"text": f"{{{{{a}}}}}", "span": 2, "align": "left"},
             {"text": b, "bold": True, "span": 2}, {"text": value_of.get(b, f"{{{{{b}}}}}"), "span": 3, "align": "left"}]
            for a, b in head]
    rows = [[{"text": "序号{{表尾同页}}", "bold": True, "vmerge": "restart"},
             {"text": "构件编号", "bold": True, "vmerge": "restart"},
             {"text": "构件部位", "bold": True, "vmerge": "restart"}, {"text": "设计厚度(mm)", "bold": True, "span": 3},
             {"text": "测点数", "bold": True, "vmerge": "restart"}, {"text": "备注", "bold": True, "vmerge": "restart"},
             {"text": "{{判定列}}", "bold": True, "vmerge": "restart"}]]
    rows.append([{"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"},
                 {"text": "测区一", "bold": True}, {"text": "测区二", "bold": True}, {"text": "测区三", "bold": True},
                 {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}, {"text": "", "vmerge": "continue"}])
    member = ["{{#构件 至少10行}}{{序号}}", "{{测区编号}}", "{{构件名称}}", "{{设计厚度}}", "{{设计厚度}}", "{{设计厚度}}",
              "{{测点数}}", "", "{{判定值}}{{/构件}}"]
    rows.append([{"text": text, "align": "center"} for text in member])
    blocks = [*lab(),
              P("楼板厚度检测报告", align="center", size=22, bold=True, hei=True), P(),
              T(info, grid), P(tiny=True), T(rows, grid, header_rows=2),
              P(SAMPLES, size=10.5, keep_next=True),
              P("判定规则：{{判定说明}}；检测结论：{{结论}}。", size=10.5, keep_next=True), *signatures()]
    write("检测报告4", blocks, "楼板厚度检测报告")


def regional(name, title):
    rows = pairs([(("委托单位", "委托单位"), ("委托日期", "委托日期")), (("工程名称", "工程名称"), ("委托编号", "委托编号")),
                  (("建设单位", "建设单位"), ("试验编号", "试验编号")), (("施工单位", "施工单位"), ("检测依据", "检测依据")),
                  (("监理单位", "监理单位"), ("检测日期", "检测日期")), (("设计单位", "设计单位"), ("检测仪器", "检测仪器"))])
    rows += [spanning("检测结果", bold=True),
             spanning("{{^按构件判定}}    本次检测的{{工程名称}}工程楼板厚度共计{{测点总数}}点，其中合格点{{合格点数}}个，"
                      "合格点率为{{合格率}}%", align="left"),
             spanning("{{?按构件判定}}    本次检测的{{工程名称}}工程楼板厚度共抽查{{构件数}}个构件（{{测点总数}}点），"
                      "以各构件测点的平均值判定，其中合格构件{{合格构件数}}个，合格率为{{合格率}}%", align="left"),
             spanning(SAMPLES, align="left"),
             spanning(RULE_LINE, align="left"),
             last_row([{"text": "结论", "bold": True},
                       {"text": "    依据{{检测依据}}标准,工程的楼板厚度检测结果为{{结论}}。", "span": 3, "align": "left"}])]
    blocks = [*lab(), P(title, align="center", size=22, bold=True, hei=True), P(),
              T(rows, LABEL_VALUE), *signatures()]
    write(name, blocks, title)


def data_table():
    """The readings of the ticked members: a heading row per member, then ten readings to a row,
    the rows of a member on one page, a member longer than a page in a table of its own whose
    heading repeats; failing readings red (the engine's default)."""
    plain = {"align": "center", "valign": False}
    heading_row = {"cells": [dict(plain, text="{{#构件 同页 续表头}}{{测区编号}}({{构件名称}})         设计厚度:"
                                              "{{设计厚度}}        {{测试日期原文}}{{判定结果}}", span=10)]}
    readings = [dict(plain, text=f"{{{{测点{k}}}}}") for k in range(1, 11)]
    readings[0]["text"] = "{{#测点}}" + readings[0]["text"]
    readings[-1]["text"] += "{{/构件}}"
    blocks = [P("数据列表：", size=12), P("{{?测点标记说明}}{{测点标记说明}}", size=9),
              T([heading_row, readings], [830] * 10, centered=False, row_height=0), P(size=12),
              *log_table()]
    write("表格", blocks, "楼板厚度检测原始数据")


def log_table():
    """The modification log's entries since it began, with the last entry's SHA-256; nothing
    when the project has none (the heading row's condition leaves the table without rows)."""
    plain = {"align": "center", "valign": False, "size": 9}
    headings = ["序号", "构件", "测点", "原值", "新值", "修改人", "修改时间", "原因"]
    heading_row = [dict(plain, text=t, bold=True) for t in headings]
    heading_row[0]["text"] = "{{?修改记录}}" + heading_row[0]["text"]
    entry = [dict(plain, text=f"{{{{{t}}}}}") for t in headings]
    entry[0]["text"] = "{{#修改记录}}" + entry[0]["text"]
    entry[-1]["text"] += "{{/修改记录}}"
    entry[-1]["align"] = "left"
    return [P("{{?修改记录}}修改记录（共 {{修改记录}} 条）：", size=12, keep_next=True),
            T([heading_row, entry], [700, 1000, 600, 750, 750, 1000, 1800, 1700], centered=False,
              header_rows=1, row_height=0),
            P("{{?修改记录哈希}}修改记录最后一条的 SHA-256：{{修改记录哈希}}", size=7)]


if __name__ == "__main__":
    report1()
    report2()
    report3()
    report4()
    regional("甘肃报告", "混凝土楼板厚度检测报告")
    regional("吉林报告", "楼板厚度检测报告（结构实体）")
    data_table()
