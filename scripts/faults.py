#!/usr/bin/env python3
"""Injects one fault at a time into a copy of the tree, builds it and runs the native
test suite, and records which tests fail: the suite's power to catch real faults.

    scripts/faults.py [--work DIR] [--only ID,...] [--out FILE]
    scripts/faults.py --markdown BEFORE AFTER     the two results as a table

Each fault is a textual change of one line or expression, found by its text in the
first listed file that holds it exactly once (files move as the code is reorganised;
the fault stays the same mistake). The report lists, per fault, the failing tests;
'-' means nothing caught it, 'n/a' that its text is no longer in the tree.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

# (id, area, what the mistake is, candidate files, old text, new text)
FAULTS = [
    ("C1", "core", "em divisor 640 becomes 641",
     ["glyph/glyphRecord.hh", "Skrib/fontData.hh", "glyph/glyphFont.hh"],
     "kFontScale = 640.0f", "kFontScale = 641.0f"),
    ("C2", "core", "curve step 1/(1+50q) becomes 1/(1+49q)",
     ["glyph/flatten.cpp", "glyph/glyphTesselator.cpp"],
     ("return 1.0f / (1.0f + 50.0f * quality);", "return 1.0f / curveParts(quality);"),
     ("return 1.0f / (1.0f + 49.0f * quality);", "return 1.0f / (1.0f + 49.0f * quality);")),
    ("C3", "core", "cubic sample count uses 49 per quality",
     ["glyph/flatten.cpp", "glyph/glyphTesselator.cpp"],
     ("int n = static_cast<int>(1.0f + 50.0f * quality);",
      "int n = static_cast<int>(curveParts(quality));"),
     ("int n = static_cast<int>(1.0f + 49.0f * quality);",
      "int n = static_cast<int>(1.0f + 49.0f * quality);")),
    ("C4", "core", "contour end may equal the point count (wrong bound)",
     ["glyph/glyphOutline.cpp", "glyph/outline.cpp", "Skrib/fontCore.cpp"],
     "last >= outline->n_points", "last > outline->n_points"),
    ("C5", "core", "decreasing contour ends accepted (dropped check)",
     ["glyph/glyphOutline.cpp", "glyph/outline.cpp", "Skrib/fontCore.cpp"],
     "if (last < previous || last >= outline->n_points)", "if (last >= outline->n_points)"),
    ("C6", "core", "glyph index past the table not clamped (dropped check)",
     ["glyph/glyphFont.cpp", "glyph/glyphOutline.cpp", "Skrib/fontCore.cpp"],
     "if (static_cast<FT_Long>(g) > font->ftFace->num_glyphs)", "if (false)"),
    ("C7", "core", "even-odd outlines tessellated under non-zero",
     ["glyph/glyphTesselator.cpp"],
     "(outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? GLU_TESS_WINDING_ODD",
     "false ? GLU_TESS_WINDING_ODD"),
    ("C8", "core", "quality 100 refused (off by one)",
     ["glyph/glyphFont.cpp", "Skrib/fontCore.cpp"],
     "if (font && percent <= 100)", "if (font && percent < 100)"),
    ("C9", "core", "quality read back rounded instead of truncated",
     ["glyph/glyphFont.cpp", "Skrib/fontCore.cpp"],
     "return static_cast<int32_t>(product);", "return static_cast<int32_t>(product + 0.5f);"),
    ("C10", "core", "kerning y written from x",
     ["Skrib/GlyvaInterface.cpp"],
     "kerning[1] = glyva::scaled(vector.y);", "kerning[1] = glyva::scaled(vector.x);"),
    ("C11", "core", "bounding box xMin taken from yMin",
     ["glyph/glyphFont.cpp", "Skrib/fontCore.cpp"],
     "font->boundsXMin = scaled(face->bbox.xMin);", "font->boundsXMin = scaled(face->bbox.yMin);"),
    ("C12", "core", "closing repeat handed to GLU",
     ["glyph/glyphTesselator.cpp"],
     ("firstPoint[1] == lastPoint[1])\n        --m;", "points[1] == lastPoint[1])\n        --m;"),
     ("firstPoint[1] == lastPoint[1])\n        m += 0;", "points[1] == lastPoint[1])\n        m += 0;")),
    ("C13", "core", "cubic in the last positions ends at point 1",
     ["glyph/flatten.cpp", "glyph/glyphTesselator.cpp"],
     "Point e = at(i + 2 < n ? i + 2 : 0);", "Point e = at(i + 2 < n ? i + 2 : 1);"),
    ("C14", "core", "repeat test compares x only",
     ["glyph/flatten.cpp", "glyph/glyphTesselator.cpp"],
     "return last[0] == p.x && last[1] == p.y;", "return last[0] == p.x;"),
    ("C15", "core", "glyphs loaded hinted",
     ["glyph/glyphOutline.cpp", "glyph/glyphFont.cpp", "Skrib/fontCore.cpp"],
     "FT_Load_Glyph(font->ftFace, glyphIndex, FT_LOAD_NO_HINTING)",
     "FT_Load_Glyph(font->ftFace, glyphIndex, FT_LOAD_DEFAULT)"),
    ("C16", "core", "failed vertex store keeps the other glyphs' index lists",
     ["glyph/glyphTesselator.cpp"],
     "if (info.vertexStoreFailed) {", "if (false) {"),
    ("C17", "core", "vertex window of 64 in the glyph path",
     ["glyph/vertexWindow.hh"],
     ("static constexpr uint32_t kWindow = 65;", "static constexpr uint32_t kWindow = mf::kSearchWindow;"),
     ("static constexpr uint32_t kWindow = 64;", "static constexpr uint32_t kWindow = mf::kSearchWindow - 1;")),
    ("C18", "core", "contour span one point short",
     ["glyph/glyphOutline.cpp", "glyph/outline.cpp", "Skrib/fontCore.cpp"],
     ("outline->contours[k] - *first + 1)", "outline->contours[k] - first + 1)}"),
     ("outline->contours[k] - *first)", "outline->contours[k] - first)}")),
    ("C19", "core", "mesh query without GetGlyphInfo first (dropped check)",
     ["Skrib/GlyvaInterface.cpp"],
     ("    if (!validRecord(font, charCode, &g))\n        return -1;\n    if (tavixTesselateGlyph",
      "    internalGlyphData *record = validRecord(font, charCode, &g);\n    if (!record ||"),
     ("    validRecord(font, charCode, &g);\n    if (tavixTesselateGlyph",
      "    internalGlyphData *record = glyva::glyphRecord(font, charCode, &g);\n    if (!record ||")),
    ("C20", "core", "kerning not grid-fitted",
     ["Skrib/GlyvaInterface.cpp"],
     "FT_KERNING_DEFAULT, kerning)", "FT_KERNING_UNFITTED, kerning)"),
    ("C21", "core", "failed glyph tessellation reported as success",
     ["glyph/glyphMesh.hh", "glyph/glyphExports.cpp"],
     ("? g : 0;", "? glyphIndex : 0;"), ("? g : g;", "? glyphIndex : glyphIndex;")),
    ("C22", "core", "even-odd byte inverted",
     ["glyph/glyphContours.cpp", "glyph/glyphOutline.cpp", "Skrib/fontCore.cpp"],
     "(outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? 1 : 0", "(outline->flags & FT_OUTLINE_EVEN_ODD_FILL) ? 0 : 1"),
    ("C23", "core", "no message for a contour that flattens to nothing",
     ["glyph/glyphTesselator.cpp"],
     'plyxWarnMessage(kSource, 595, "fill Contour %u failed\\n", static_cast<unsigned>(k));',
     "(void)k;"),
    ("P1", "platform", "kdStrcpy_s copies dstsize bytes (wrong bound)",
     ["util/emuKD/kdString.cpp"],
     "copyBounded(dst, src, dstsize - 1);", "copyBounded(dst, src, dstsize);"),
    ("P2", "platform", "kdStrncat_s ignores its count",
     ["util/emuKD/kdString.cpp"],
     "srclen < count ? srclen : count);", "srclen);"),
    ("P3", "platform", "KD_SEEK_END seeks from the start",
     ["util/emuKD/kdFile.cpp"],
     "if (origin == KD_SEEK_END)\n        return SEEK_END;", "if (origin == KD_SEEK_END)\n        return SEEK_SET;"),
    ("P4", "platform", "kdFabsf keeps the sign bit",
     ["util/emuKD/kdMath.cpp"],
     "bits &= 0x7fffffffu;", "bits &= 0xffffffffu;"),
    ("P5", "platform", "kdAtan2f arguments swapped",
     ["util/emuKD/kdMath.cpp"],
     "return atan2f(y, x);", "return atan2f(x, y);"),
    ("P6", "platform", "kdMemcmp of a null block reads as equal",
     ["util/emuKD/kdMemory.cpp"],
     "if (!a || !b)\n        return -1;\n    return memcmp", "if (!a || !b)\n        return 0;\n    return memcmp"),
    ("P7", "platform", "kdFopen accepts any mode (dropped check)",
     ["util/emuKD/kdFile.cpp"],
     "if (!pathname || !mode || !modeAccepted(mode))", "if (!pathname || !mode)"),
    ("P8", "platform", "partial file read accepted as the whole file",
     ["util/plyxFile.cpp"],
     "bool complete = kdFEOF(file) != 0;", "bool complete = true;"),
    ("R1", "readers", "little-endian scalars assembled big-endian (swapped byte order)",
     ["util/plyxReaders.cpp"],
     "for (KDsize i = size; i > 0; --i)\n        value = (value << 8) | bytes[i - 1];",
     "for (KDsize i = 0; i < size; ++i)\n        value = (value << 8) | bytes[i];"),
    ("R2", "readers", "the big-endian reader reads little-endian",
     ["util/plyxReaders.cpp"],
     "*value = decodeBigEndian32(bytes);", "*value = static_cast<uint32_t>(decodeLittleEndian(bytes, kWordSize));"),
    ("R3", "readers", "a zero-length string reads as an allocated empty text",
     ["util/plyxReaders.cpp"],
     "if (length <= 0) {\n        *string = nullptr;", "if (length < 0) {\n        *string = nullptr;"),
    ("R4", "readers", "string list stops at its first bad entry",
     ["util/plyxReaders.cpp"],
     "if (!readUtf8StringLE(file, &list->values[i]))\n            complete = 0;",
     "if (!readUtf8StringLE(file, &list->values[i]))\n            return 0;"),
    ("R5", "readers", "float field of count 0 accepted (dropped check)",
     ["util/plyxReaders.cpp"],
     "if (count <= 0) {\n        clearMFFloat(array);", "if (count < 0) {\n        clearMFFloat(array);"),
    ("A1", "arrays", "search window of 64 in the arrays",
     ["util/mfArrays.hh"],
     "constexpr uint32_t kSearchWindow = 65;", "constexpr uint32_t kSearchWindow = 64;"),
    ("A2", "arrays", "equal compares one element short (wrong bound)",
     ["util/mfArrays.hh"],
     "return kdMemcmp(a->values, b->values, byteSize<Record>(a->count)) == 0;",
     "return kdMemcmp(a->values, b->values, byteSize<Record>(a->count - 1)) == 0;"),
    ("A3", "arrays", "a failed reallocation keeps the count (dropped release)",
     ["util/mfArrays.hh"],
     "if (!storage) {\n        release(array);\n        return 0;\n    }\n    array->values = static_cast<Element<Record> *>(storage);\n    array->count = static_cast<uint32_t>(count);",
     "if (!storage) {\n        return 0;\n    }\n    array->values = static_cast<Element<Record> *>(storage);\n    array->count = static_cast<uint32_t>(count);"),
    ("A4", "arrays", "search-insert ignores the last component",
     ["util/mfArrays.hh"],
     "for (uint32_t i = 0; i < kComponents<Record>; ++i) {", "for (uint32_t i = 0; i + 1 < kComponents<Record>; ++i) {"),
    ("A5", "arrays", "string list equality ignores absent entries",
     ["util/mfString.cpp"],
     "if (!a || !b)\n        return a == b;", "if (!a || !b)\n        return true;"),
    ("A6", "arrays", "byte-size overflow check loosened (wrong bound)",
     ["util/mfArrays.hh"],
     "if (count > kMaxCount<Record>) {", "if (count > 2 * kMaxCount<Record>) {"),
    ("T1", "tessellator", "negative normal axes point the positive way",
     ["glyph/genericTesselator.cpp"],
     "normalAxis < 0 ? -1.0 : 1.0;", "1.0;"),
    ("T2", "tessellator", "non-finite vertices reach GLU (dropped check)",
     ["glyph/genericTesselator.cpp"],
     "if (!tess || !v || !finite3(v) || discarded(&info))", "if (!tess || !v || discarded(&info))"),
    ("T3", "tessellator", "partial triangle kept after an error",
     ["glyph/genericTesselator.cpp"],
     "    glyva::dropPartialTriangle(info.indices);\n    return &info;", "    return &info;"),
    ("T4", "tessellator", "boundary-only property not reset after a rejected rule",
     ["glyph/genericTesselator.cpp"],
     "gluTessProperty(tess, GLU_TESS_BOUNDARY_ONLY, GL_FALSE);", "(void)0;"),
    ("T5", "tessellator", "error of a discarded mesh overwritten",
     ["glyph/genericTesselator.cpp"],
     ("if (info && !discarded(info))", "if (tessInfo *info = openRecord(data))\n        info->error"),
     ("if (info)", "if (auto *info = static_cast<tessInfo *>(data))\n        info->error")),
    ("T6", "tessellator", "combined vertices appended without merging",
     ["glyph/genericTesselator.cpp"],
     ("int32_t index = sweep ? sweep->window.searchInsert(sweep->vertices, xyz) : -1;",
      "merged_.values[k] = window_.searchInsert(vertices_, combined_.values[k]);"),
     ("int32_t index = sweep && sweep->vertices.append(xyz) ? static_cast<int32_t>(sweep->vertices.array().count - 1) : -1;",
      "merged_.values[k] = vertices_.append(combined_.values[k]) ? static_cast<int32_t>(vertices_.array().count - 1) : -1;")),
    ("M1", "messages", "message prefix loses its parentheses",
     ["util/plyxMessage.cpp"],
     'int m = snprintf(prefixed, sizeof prefixed, "%s(%d): %s", file, line, message);',
     'int m = snprintf(prefixed, sizeof prefixed, "%s:%d: %s", file, line, message);'),
    ("M2", "messages", "a node type name misspelt",
     ["util/plyxTables.cpp"],
     '{0x0103, "LOD"},', '{0x0103, "Lod"},'),
    ("M3", "messages", "plyxStrdup of an empty text gives a copy",
     ["util/plyxMessage.cpp"],
     "if (n == 0)\n        return nullptr;\n    char *copy", "if (!text)\n        return nullptr;\n    char *copy"),
    ("S1", "shape", "glyph index equal to the count accepted (wrong bound)",
     ["shape/shapeGlyph.cpp"],
     "if (static_cast<FT_Long>(glyphIndex) < glyphs && glyphIndex <= INT32_MAX)",
     "if (static_cast<FT_Long>(glyphIndex) <= glyphs && glyphIndex <= INT32_MAX)"),
    ("S2", "shape", "axis values not clamped to the axis maximum",
     ["shape/shapeOpen.cpp", "shape/shapeInstance.cpp"],
     ": c > mm->axis[a].maximum ? mm->axis[a].maximum", ": false ? mm->axis[a].maximum"),
]


def tracked_files(root):
    out = subprocess.run(["git", "ls-files", "-z"], cwd=root, check=True,
                         capture_output=True).stdout.decode()
    return [f for f in out.split("\0") if f]


def sync_copy(root, dest):
    """Mirrors the tracked files (as they are in the working tree) into dest."""
    files = tracked_files(root)
    for f in files:
        src, dst = os.path.join(root, f), os.path.join(dest, f)
        if not os.path.isfile(src):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(src, "rb") as a:
            data = a.read()
        if os.path.exists(dst):
            with open(dst, "rb") as b:
                if b.read() == data:
                    continue
        with open(dst, "wb") as b:
            b.write(data)
    wanted = set(files)
    for dirpath, _, names in os.walk(dest):
        rel = os.path.relpath(dirpath, dest)
        if rel.split(os.sep)[0] in ("build", ".git"):
            continue
        for n in names:
            f = os.path.normpath(os.path.join(rel, n))
            if f not in wanted:
                os.remove(os.path.join(dirpath, n))


def variants(fault):
    """(old, new) pairs: one text, or the same mistake as the code reads before and
    after it moved."""
    old, new = fault[4], fault[5]
    return list(zip(old, new)) if isinstance(old, tuple) else [(old, new)]


def locate(src, fault):
    for f in fault[3]:
        path = os.path.join(src, f)
        if not os.path.isfile(path):
            continue
        with open(path) as h:
            text = h.read()
        for old, new in variants(fault):
            if text.count(old) == 1:
                return path, text, text.replace(old, new)
    return None, None, None


def run(cmd, cwd, log, timeout=None):
    with open(log, "a") as out:
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                              timeout=timeout).returncode


def failing_tests(build, log):
    junit = os.path.join(build, "faults-junit.xml")
    if os.path.exists(junit):
        os.remove(junit)
    try:
        run(["ctest", "-j2", "-E", "source_format|installed_consumer", "--timeout", "300",
             "--output-junit", junit], build, log, timeout=3600)
    except subprocess.TimeoutExpired:
        return ["(suite timed out)"]
    if not os.path.exists(junit):
        return ["(no ctest report)"]
    failed = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        status = case.get("status", "")
        if status in ("fail", "failed") or case.find("failure") is not None:
            failed.append(case.get("name"))
    return sorted(failed)


def short(name):
    name = re.sub(r"\s+#.*$", "", name)
    return name


def markdown(before, after):
    """The two runs' results side by side, one row per fault."""
    def load(path):
        rows = {}
        with open(path) as h:
            for line in h:
                fields = line.rstrip("\n").split("\t")
                if len(fields) == 4:
                    rows[fields[0]] = fields[3]
        return rows

    def tests(result):
        if result in ("-", "n/a"):
            return "**not caught**" if result == "-" else result
        names = [n.split(".")[0] + "." + n.split(".")[1].split("/")[0] if "." in n else n
                 for n in result.split("; ")]
        unique = sorted(set(names))
        return ", ".join(unique[:4]) + (" and %d more" % (len(unique) - 4) if len(unique) > 4 else "")

    b, a = load(before), load(after)
    lines = ["| fault | mistake | caught before by | caught after by |", "|---|---|---|---|"]
    for fid, area, what, _, _, _ in FAULTS:
        lines.append("| %s %s | %s | %s | %s |" % (fid, area, what, tests(b.get(fid, "n/a")),
                                                  tests(a.get(fid, "n/a"))))
    caught = lambda rows: sum(1 for r in rows.values() if r not in ("-", "n/a"))
    lines.append("")
    lines.append("Caught before: %d of %d; after: %d of %d." % (caught(b), len(b), caught(a), len(a)))
    return "\n".join(lines) + "\n"


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(sys.argv) == 4 and sys.argv[1] == "--markdown":
        sys.stdout.write(markdown(sys.argv[2], sys.argv[3]))
        return
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default="/tmp/glyva-faults")
    parser.add_argument("--only", default="")
    parser.add_argument("--out", default="")
    args = parser.parse_args()
    src, build = os.path.join(args.work, "src"), os.path.join(args.work, "src", "build")
    log = os.path.join(args.work, "log.txt")
    os.makedirs(src, exist_ok=True)
    sync_copy(here, src)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        run(["cmake", "-S", ".", "-B", "build", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             "-DGLYVA_BUILD_EXAMPLES=OFF"], src, log)
    if run(["nice", "cmake", "--build", "build", "-j2"], src, log) != 0:
        sys.exit("the unchanged tree does not build; see " + log)
    clean = failing_tests(build, log)
    if clean:
        sys.exit("the unchanged tree fails: " + ", ".join(clean))
    only = set(filter(None, args.only.split(",")))
    lines = []
    for fault in FAULTS:
        fid, area, what = fault[:3]
        if only and fid not in only:
            continue
        path, text, faulty = locate(src, fault)
        if not path:
            result = "n/a"
        else:
            with open(path, "w") as h:
                h.write(faulty)
            try:
                if run(["nice", "cmake", "--build", "build", "-j2"], src, log) != 0:
                    result = "(does not build)"
                else:
                    failed = failing_tests(build, log)
                    result = "; ".join(short(n) for n in failed) if failed else "-"
            finally:
                with open(path, "w") as h:
                    h.write(text)
        line = "%s\t%s\t%s\t%s" % (fid, area, what, result)
        print(line, flush=True)
        lines.append(line)
    run(["nice", "cmake", "--build", "build", "-j2"], src, log)
    if args.out:
        with open(args.out, "w") as h:
            h.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
