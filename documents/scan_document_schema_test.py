#!/usr/bin/python3
"""The scan documents wlscan really writes hold to docs/scan-document.schema.json,
and the schema is strict enough to refuse documents that break it.

A ctest test of the Windows build (scripts/wine-ctest.sh -R ScanDocumentSchema):
    documents/scan_document_schema_test.py BINDIR SCHEMA
Runs wlscan.exe under Wine (the prefix the tests run in) with an entry
planted in the Run key: a whole scan, then one compared with it as the
baseline after the entry changed and another came. Uses Debian's
python3-jsonschema (scripts/install-deps.sh)."""
import copy
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

BIN, SCHEMA_FILE = sys.argv[1], sys.argv[2]
RUN = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
TAG = "WLTest-schema-%d" % os.getpid()
failures = 0
passes = 0


def check(ok, what):
    global failures, passes
    if ok:
        passes += 1
        print("ok: " + what)
    else:
        failures += 1
        print("FAIL: " + what)


def wine(*args):
    return subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, capture_output=True)


def plant(name, data):
    wine("reg", "add", RUN, "/v", name, "/d", data, "/f")


def wlscan(*args):
    result = wine(os.path.join(BIN, "wlscan.exe"), *args)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8", "replace")


with open(SCHEMA_FILE, encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)


def problems(doc):
    return ["%s: %s" % ("/".join(str(p) for p in e.absolute_path), e.message) for e in validator.iter_errors(doc)]


def holds(doc, what):
    found = problems(doc)
    check(not found, what + ("" if not found else ": " + "; ".join(found[:5])))
    check(doc.get("count") == len(doc.get("items", [])), what + ": count is the number of items")


work = tempfile.mkdtemp(prefix="wlschema")
base_file = os.path.join(work, "base.json")
base_for_wine = "Z:" + base_file.replace("/", "\\")  # the Unix root is drive Z:
try:
    plant(TAG + "-changed", r"C:\Nowhere\wlschema.exe /before")
    status, out, err = wlscan("scan", "--format", "json")
    check(status == 1, "wlscan scan --format json flags the planted entry (exit %d) %s" % (status, err[:300]))
    whole = json.loads(out)
    holds(whole, "wlscan scan --format json")
    ours = [i for i in whole["items"] if i["item"] == TAG + "-changed"]
    check(len(ours) == 1 and ours[0].get("verdict") == "suspicious", "the planted entry is an item with its verdict")
    with open(base_file, "w", encoding="utf-8") as f:
        f.write(out)

    plant(TAG + "-changed", r"C:\Nowhere\wlschema.exe /after")
    plant(TAG + "-new", r"C:\Nowhere\wlschema.exe /new")
    status, out, err = wlscan("scan", "--format", "json", "--baseline", base_for_wine)
    compared = json.loads(out)
    holds(compared, "wlscan scan --format json --baseline")
    changes = {i["item"]: i.get("change") for i in compared["items"] if i["item"].startswith(TAG)}
    check(changes == {TAG + "-changed": "changed", TAG + "-new": "new"}, "the baseline's output marks both: %s" % changes)
finally:
    wine("reg", "delete", RUN, "/v", TAG + "-changed", "/f")
    wine("reg", "delete", RUN, "/v", TAG + "-new", "/f")
    shutil.rmtree(work, ignore_errors=True)

# Every column of every page the scan scans has its field in the schema, even
# where this machine flags nothing on that page (a column named like an item
# field gets "row" in front).
described = set(schema["$defs"]["item"]["properties"])
for page in schema["$defs"]["item"]["properties"]["page"]["enum"]:
    status, out, err = wlscan(page, "--format", "json")
    keys = [c["key"] for c in json.loads(out)["columns"]] if status == 0 else []
    keys = ["row" + k[0].upper() + k[1:] if k in ("id", "page", "category", "item", "index") else k for k in keys]
    check(keys and set(keys) <= described, "the columns of %s are described: %s" % (page, sorted(set(keys) - described)))

# Documents that break the schema are refused: it describes, it does not wave through.
item = next(i for i in compared["items"] if i.get("change") == "changed")


def broken(change, what):
    doc = copy.deepcopy(compared)
    doc["items"] = [copy.deepcopy(item)]
    doc["count"] = 1
    change(doc, doc["items"][0])
    check(bool(problems(doc)), "the schema refuses " + what)


broken(lambda d, i: d.pop("formatVersion"), "a document without formatVersion")
broken(lambda d, i: d.update(formatVersion=2), "another formatVersion")
broken(lambda d, i: d.update(program="Other"), "another program")
broken(lambda d, i: d.update(time="yesterday"), "a time that is not ISO 8601 UTC")
broken(lambda d, i: d.update(extra=1), "a field it does not describe")
broken(lambda d, i: d["baseline"].pop("gone"), "a baseline without its gone count")
broken(lambda d, i: i.pop("id"), "an item without id")
broken(lambda d, i: i.update(id="nowhere/x"), "an id of no page")
broken(lambda d, i: i.update(page="processes"), "a page the scan does not scan")
broken(lambda d, i: i.update(index=3), "an index that is a number")
broken(lambda d, i: i.update(value=None), "a value that is not a text")
broken(lambda d, i: i.update(sha256="ABC"), "a hash that is not 64 lowercase hex digits")
broken(lambda d, i: i.update(reasons="Not signed"), "reasons that are not a list")
broken(lambda d, i: i.update(change="gone"), "a change that is neither new nor changed")
broken(lambda d, i: i.update(was={"analysis": "x"}), "was naming a field that is not compared")
broken(lambda d, i: i.pop("change"), "was without change")
broken(lambda d, i: i.update(undocumentedColumn="x"), "an item field it does not describe")

print("%d passed, %d failed" % (passes, failures))
sys.exit(1 if failures else 0)
