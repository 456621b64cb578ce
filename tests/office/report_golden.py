#!/usr/bin/env python3
"""The Word reports of the six formats and the data table, compared with golden files.

A corpus of projects is written here (the analysis layout and its parameters block, by hand),
every format's report and the data table are made with `kro report`, and each document is
normalised to text (normalize_docx.py) and compared with tests/office/golden/CASE/NAME.txt.
Today's date, which report 1 prints when 报告日期 is empty, is written as TODAY.

Run: report_golden.py KRO            compare (exit 1 with the differences)
     report_golden.py KRO --write    write the golden files anew (review the diff)
     report_golden.py KRO --large    the 1,000-member project alone, compared with its digest
"""
import datetime
import difflib
import hashlib
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import normalize_docx  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "golden")

PARAMETERS = ["工程名称", "施工单位", "监理单位", "设计单位", "检测内容", "工程地址", "结构类别", "施工日期",
              "强度等级", "委托单位", "检测依据", "检测仪器", "报告编号", "报告日期", "建设单位", "监督单位",
              "检测项目", "检测方法", "检测日期", "检测人员", "委托编号", "检测编号", "委托日期", "浇筑日期",
              "仪器设备", "执行标准", "仪器编号", "试验编号", "检测单位", "合格率要求"]


def member(code, name, date, design, minus, plus, readings, selected=1):
    def text(value, size):
        data = value.encode("gbk")
        assert len(data) < size or size == 10, value
        return data[:size].ljust(size, b"\0")
    n = len(readings)
    inside = sum(1 for r in readings if design + minus <= r <= design + plus)
    block = text(code, 10) + text(name, 100) + text(date, 20) + bytes([selected])
    average = round(sum(readings) / n) if n else 0
    block += struct.pack("<iiiiiiiiiif", average, design, minus, plus, n, 0, 0, max(readings, default=0),
                         min(readings, default=0), inside, inside / n if n else 0.0)
    return block + b"".join(struct.pack("<iii", 0, r, 0) for r in readings)


def project(members, parameters, second=()):
    """The members, the parameters block, and the sample block naming the second sample's members
    by position and code."""
    data = struct.pack("<i", len(members)) + b"".join(members)
    pairs = b"".join(struct.pack("<H", len(k.encode("gbk"))) + k.encode("gbk") +
                     struct.pack("<I", len(v.encode("gbk"))) + v.encode("gbk") for k, v in parameters.items())
    payload = struct.pack("<I", len(parameters)) + pairs
    data += b"KROPARAM" + struct.pack("<HI", 1, len(payload)) + payload
    if second:
        marks = b"".join(struct.pack("<IH", i, len(members[i][:10].rstrip(b"\0"))) +
                         members[i][:10].rstrip(b"\0") + bytes([2]) for i in second)
        payload = struct.pack("<I", len(second)) + marks
        data += b"KROSAMPL" + struct.pack("<HI", 1, len(payload)) + payload
    return data


def readings(count, design, seed, spread=8):
    values, x = [], seed
    for _ in range(count):
        x = (x * 1103515245 + 12345) % 2 ** 31
        values.append(design - spread + x % (2 * spread + 1))
    return values


def typed(length):
    """Parameters as an office types them: every field, of about this many characters."""
    out = {}
    for i, key in enumerate(PARAMETERS):
        base = f"{key}{i}"
        out[key] = (base * (length // len(base) + 1))[:length] if length else ""
    out["报告日期"] = "2026年 3月 7日"
    out["检测日期"] = "2026年 3月 5日"
    out["合格率要求"] = "90"
    return out


def corpus(kro, work):
    sample_path = os.path.join(work, "sample.KRO")
    subprocess.run([kro, "sample", "-o", sample_path, "--config-dir", os.path.join(work, "config")], check=True)
    with open(sample_path, "rb") as f:
        sample = f.read()
    members = []
    count, at = struct.unpack_from("<i", sample, 0)[0], 4
    for _ in range(count):
        n = struct.unpack_from("<i", sample, at + 147)[0]
        members.append(sample[at:at + 175 + 12 * n])
        at += 175 + 12 * n
    unticked = [m[:130] + bytes([0 if i in (1, 4, 8) else 1]) + m[131:] for i, m in enumerate(members)]
    long_name = "楼" * 49 + "x"
    cases = {
        "sample": sample,
        "empty": project([], typed(12)),
        "unticked": project(unticked, typed(12)),
        "longest": project([member("甲乙丙丁" + str(i), long_name, "2026年03月05日123", 120, -5, 8,
                                   readings(25 + i, 120, i)) for i in range(3)], typed(300)),
        "failing": project([member(f"F{i}", f"失败{i}", "2026年03月05日", 150, -5, 8, [100 + i] * 12)
                            for i in range(3)], typed(12)),
        "passing": project([member(f"P{i}", f"合格{i}", "2026年03月05日", 120, -5, 8, [120] * (10 + i))
                            for i in range(3)], typed(12)),
        "noparams": project(members, {k: "" for k in PARAMETERS}),
    }
    # Ten slabs of three readings: eight pass by their means, 16 of the 30 readings by their band.
    slabs = [member(f"S{i}", f"楼板{i}", "2026年03月05日", 120, -5, 8, [113, 118, 126]) for i in range(8)]
    slabs += [member("S8", "楼板8", "2026年03月05日", 120, -5, 8, [100, 100, 100]),
              member("S9", "楼板9", "2026年03月05日", 120, -5, 8, [140, 112, 140])]
    cases["slabs-point"] = project(slabs, typed(12))
    cases["slabs-gb"] = project(slabs, dict(typed(12), **{"判定规则": "GB 50204-2015 附录F"}))
    # A first sample of 8 slabs, 6 passing (75 %): a second sample of 8 is needed; with it, 7 or
    # 6 of them passing give 13 or 12 of 16.
    gb = dict(typed(12), **{"判定规则": "GB 50204-2015 附录F"})
    def batch(prefix, passing, count=8):
        return [member(f"{prefix}{i}", f"楼板{prefix}{i}", "2026年03月05日", 120, -5, 8,
                       [120] * 3 if i < passing else [100] * 3) for i in range(count)]
    cases["second-needed"] = project(batch("A", 6), gb)
    cases["second-pass"] = project(batch("A", 6) + batch("B", 7), gb, second=range(8, 16))
    cases["second-fail"] = project(batch("A", 6) + batch("B", 6), gb, second=range(8, 16))
    return cases


def large():
    return project([member(f"L{i:04d}", f"大工程{i}", "2026年03月05日", 120, -5, 8, readings(100, 120, i))
                    for i in range(1000)], typed(12))


def today_marked(text):
    d = datetime.date.today()
    return text.replace(f"{d.year}--{d.month}--{d.day}", "TODAY")


def documents(kro, work, name, data, formats=range(1, 7)):
    """The normalised documents of one project: report1..6 and the data table, or the refusal."""
    path = os.path.join(work, name + ".KRO")
    with open(path, "wb") as f:
        f.write(data)
    config = os.path.join(work, "config")
    os.makedirs(config, exist_ok=True)
    out = {}
    for n in formats:
        folder = os.path.join(work, f"{name}-{n}")
        os.makedirs(folder, exist_ok=True)
        run = subprocess.run([kro, "report", path, "-o", folder, "--format", str(n), "--config-dir", config],
                             capture_output=True, text=True)
        if run.returncode != 0:
            out[f"report{n}"] = "refused: " + run.stderr.strip() + "\n"
            continue
        out[f"report{n}"] = today_marked(normalize_docx.dump(normalize_docx.normalize(
            os.path.join(folder, "楼板仪报告文档.docx"))))
        if n == 1:
            out["table"] = normalize_docx.dump(normalize_docx.normalize(os.path.join(folder, "数据表格.docx")))
    return out


def compare(name, got, failures):
    for doc, text in got.items():
        path = os.path.join(GOLDEN, name, doc + ".txt")
        if not os.path.exists(path):
            failures.append(f"{name}/{doc}: no golden file")
            continue
        with open(path, encoding="utf-8") as f:
            want = f.read()
        if want != text:
            diff = list(difflib.unified_diff(want.splitlines(), text.splitlines(), f"golden/{name}/{doc}",
                                             "written", lineterm="", n=1))
            failures.append("\n".join(diff[:40]))


def main():
    kro = sys.argv[1]
    write = "--write" in sys.argv
    failures = []
    with tempfile.TemporaryDirectory() as work:
        if "--large" in sys.argv:
            got = documents(kro, work, "large", large(), formats=[1, 4])
            digest = {doc: hashlib.sha256(text.encode()).hexdigest() for doc, text in got.items()}
            lines = "".join(f"{doc} {value}\n" for doc, value in sorted(digest.items()))
            path = os.path.join(GOLDEN, "large.sha256")
            if write:
                with open(path, "w") as f:
                    f.write(lines)
            else:
                with open(path) as f:
                    if f.read() != lines:
                        failures.append("large: the documents differ from their digests in golden/large.sha256")
        else:
            for name, data in corpus(kro, work).items():
                got = documents(kro, work, name, data)
                if write:
                    os.makedirs(os.path.join(GOLDEN, name), exist_ok=True)
                    for doc, text in got.items():
                        with open(os.path.join(GOLDEN, name, doc + ".txt"), "w", encoding="utf-8") as f:
                            f.write(text)
                else:
                    compare(name, got, failures)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
