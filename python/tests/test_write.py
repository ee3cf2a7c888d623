"""glyva.write: the files read back by readers written here from the formats' own
specifications (OBJ, binary STL, glTF's JSON and buffers), by xml.etree and Pillow,
each against the scene and layout the module hands out; and the same files as the
glyva-mesh tool writes for the same text and options. The Khronos glTF validator has a
test file of its own, reported as skipped where it is not installed."""

import json
import os
import re
import struct
import subprocess
import zipfile
import xml.etree.ElementTree as ElementTree

import numpy as np
import pytest

import glyva
from conftest import DEJAVU_SANS, NOTO_SANS_ARABIC

SAMPLE = "Glyva\nAVATAR @8"
WRAPPED = ("Glyva turns the glyphs of outline fonts into triangle meshes "
           "\u0928\u092e\u0938\u094d\u0924\u0947")


@pytest.fixture(scope="module")
def sample():
    font = glyva.Font(DEJAVU_SANS)
    yield glyva.layout(SAMPLE, font, align="center")
    font.close()


def read_obj(path):
    """Vertices, each vertex's normal (an OBJ file may share one normal among the
    vertices of many faces), faces and object names. A negative index counts back from
    the last element of its kind read so far (-1 the last)."""
    vertices, normals, faces, objects, normal_of = [], [], [], [], {}

    def resolved(index, count):
        return int(index) - 1 if int(index) > 0 else count + int(index)

    with open(path) as obj:
        for line in obj:
            kind, *values = line.split()
            if kind == "v":
                vertices.append([float(v) for v in values])
            elif kind == "vn":
                normals.append([float(v) for v in values])
            elif kind == "f":
                corners = [(resolved(c[0], len(vertices)), resolved(c[2], len(normals)))
                           for c in (v.split("/") for v in values)]
                faces.append([v for v, _ in corners])
                normal_of.update(corners)
            elif kind == "o":
                objects.append(values[0])
    per_vertex = [normals[normal_of[v]] if v in normal_of else [0.0, 0.0, 0.0]
                  for v in range(len(vertices))]
    return (np.array(vertices, dtype=np.float32), np.array(per_vertex, dtype=np.float32),
            np.array(faces, dtype=np.int64), objects)


def read_stl(path):
    """Binary STL: an 80-byte header, a facet count, then per facet a normal, three
    corners and a 2-byte attribute."""
    with open(path, "rb") as stl:
        data = stl.read()
    (count,) = struct.unpack_from("<I", data, 80)
    assert len(data) == 84 + 50 * count
    facets = np.frombuffer(data, offset=84, dtype=np.dtype(
        [("normal", "<f4", 3), ("corners", "<f4", (3, 3)), ("attribute", "<u2")]))
    return facets["normal"], facets["corners"]


def read_gltf(path):
    """The JSON document and the buffer of a .glb, or of a .gltf and its .bin."""
    with open(path, "rb") as f:
        data = f.read()
    if path.endswith(".gltf"):
        doc = json.loads(data)
        with open(os.path.join(os.path.dirname(path), doc["buffers"][0]["uri"]), "rb") as f:
            return doc, f.read()
    magic, version, length = struct.unpack_from("<III", data, 0)
    assert (magic, version, length) == (0x46546C67, 2, len(data))
    json_length, json_type = struct.unpack_from("<II", data, 12)
    assert json_type == 0x4E4F534A
    doc = json.loads(data[20:20 + json_length])
    bin_length, bin_type = struct.unpack_from("<II", data, 20 + json_length)
    assert bin_type == 0x004E4942
    return doc, data[28 + json_length:28 + json_length + bin_length]


def accessor(doc, buffer, index):
    a = doc["accessors"][index]
    view = doc["bufferViews"][a["bufferView"]]
    dtype = {5126: "<f4", 5125: "<u4"}[a["componentType"]]
    width = {"SCALAR": 1, "VEC3": 3}[a["type"]]
    start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
    values = np.frombuffer(buffer, dtype=dtype, count=a["count"] * width, offset=start)
    return values.reshape(-1, width) if width > 1 else values.reshape(-1, 3)


def mesh_arrays(doc, buffer, mesh):
    primitive = doc["meshes"][mesh]["primitives"][0]
    return (accessor(doc, buffer, primitive["attributes"]["POSITION"]),
            accessor(doc, buffer, primitive["attributes"]["NORMAL"]),
            accessor(doc, buffer, primitive["indices"]))


def test_obj_holds_the_merged_scene(sample, tmp_path):
    path = str(tmp_path / "text.obj")
    glyva.write(sample, path, size=3.0)
    merged = sample.mesh(3.0)
    vertices, normals, faces, objects = read_obj(path)
    assert objects == ["text"]
    # The same triangles in the same order, corner by corner; the file may order and
    # share its vertices as it likes.
    np.testing.assert_array_equal(vertices[faces], merged.vertices[merged.triangles])
    np.testing.assert_array_equal(normals[faces], merged.normals[merged.triangles])
    assert len(vertices) <= len(merged.vertices)


def test_stl_facets_are_the_merged_triangles(sample, tmp_path):
    path = tmp_path / "text.stl"
    glyva.write(sample, path)  # any os.PathLike
    merged = sample.mesh()
    normals, corners = read_stl(str(path))
    np.testing.assert_array_equal(corners, merged.vertices[merged.triangles])
    # Flat counter-clockwise facets face +z; one whose corners coincide has no normal.
    facing = np.all(normals == [0.0, 0.0, 1.0], axis=1)
    assert facing.mean() > 0.99
    assert np.all(normals[~facing] == 0.0)


@pytest.mark.parametrize("extension", [".glb", ".gltf"])
def test_gltf_nodes_place_each_distinct_mesh(sample, tmp_path, extension):
    path = str(tmp_path / ("text" + extension))
    scene = sample.scene(2.0)
    glyva.write(scene, path)
    doc, buffer = read_gltf(path)
    assert len(doc["meshes"]) == len(scene.meshes)
    for k, mesh in enumerate(scene.meshes):
        positions, normals, indices = mesh_arrays(doc, buffer, k)
        np.testing.assert_array_equal(positions, mesh.vertices)
        np.testing.assert_array_equal(normals, mesh.normals)
        np.testing.assert_array_equal(indices, mesh.triangles)
    root = doc["nodes"][doc["scenes"][doc["scene"]]["nodes"][0]]
    placed = [doc["nodes"][child] for child in root["children"]]
    assert [node["name"] for node in placed] == scene.texts
    assert [node["mesh"] for node in placed] == list(scene.mesh_indices)
    np.testing.assert_array_equal([node["translation"] for node in placed], scene.translations)
    assert sorted(os.listdir(tmp_path)) == sorted(
        ["text.gltf", "text.bin"] if extension == ".gltf" else ["text.glb"])


def test_merged_gltf_is_one_mesh_of_everything(sample, tmp_path):
    path = str(tmp_path / "text.glb")
    glyva.write(sample, path, merge=True)
    doc, buffer = read_gltf(path)
    merged = sample.mesh()
    assert len(doc["meshes"]) == 1
    positions, _, indices = mesh_arrays(doc, buffer, 0)
    np.testing.assert_array_equal(positions, merged.vertices)
    np.testing.assert_array_equal(indices, merged.triangles)


def test_svg_uses_each_distinct_path_where_its_glyph_goes(sample, tmp_path):
    path = str(tmp_path / "text.svg")
    glyva.write(sample, path, size=10.0, picture_width=800)
    scene = sample.scene(10.0)
    svg = ElementTree.parse(path).getroot()
    ns = {"svg": "http://www.w3.org/2000/svg"}
    assert svg.get("width") == "800"
    assert len(svg.findall(".//svg:defs/svg:path", ns)) == len(scene.meshes)
    uses = svg.findall(".//svg:use", ns)
    assert len(uses) == len(scene)
    origins = np.array([[float(u.get("x")), float(u.get("y"))] for u in uses])
    np.testing.assert_allclose(origins, scene.translations[:, :2], atol=1e-5)


@pytest.mark.parametrize("edges", [False, True])
def test_png_is_a_picture_of_the_glyphs(sample, tmp_path, edges):
    image_module = pytest.importorskip("PIL.Image", reason="Pillow (python3-pil) reads PNG")
    path = str(tmp_path / "text.png")
    glyva.write(sample, path, picture_width=600, picture_height=250, edges=edges)
    with image_module.open(path) as image:
        assert image.size == (600, 250)
        pixels = np.asarray(image.convert("L"), dtype=np.float64)
    # White paper, some ink; filled glyphs are dark, glyphs drawn by their edges a
    # light fill crossed by dark lines.
    paper = pixels == 255
    ink = pixels[~paper]
    assert 0.5 < paper.mean() < 0.95
    dark = (ink < 110).mean()
    assert dark > 0.75 if not edges else 0.05 < dark < 0.5


def test_picture_height_follows_the_text_when_not_given(tmp_path):
    pytest.importorskip("PIL.Image", reason="Pillow (python3-pil) reads PNG")
    from PIL import Image

    sizes = []
    for text in ("Glyva", "Glyva\nGlyva\nGlyva"):
        path = str(tmp_path / "text.png")
        glyva.write(glyva.layout(text, DEJAVU_SANS), path, picture_width=400)
        with Image.open(path) as image:
            sizes.append(image.size)
    assert sizes[0][0] == sizes[1][0] == 400
    assert sizes[1][1] > 2 * sizes[0][1]


def test_json_lists_every_glyph_of_the_layout(sample, tmp_path):
    path = str(tmp_path / "layout.json")
    glyva.write(sample, path, size=4.0)
    with open(path) as f:
        doc = json.load(f)
    assert doc["lines"] == len(sample.lines)
    glyphs = doc["glyphs"]
    assert [g["glyph"] for g in glyphs] == list(sample.glyphs)
    assert [g["cluster"] for g in glyphs] == list(sample.clusters)
    assert [g["line"] for g in glyphs] == list(sample.line_indices)
    assert {g["font"] for g in glyphs} == {DEJAVU_SANS}
    np.testing.assert_array_equal([[g["x"], g["y"]] for g in glyphs], sample.positions * 4.0)
    np.testing.assert_array_equal([g["advance"] for g in glyphs], sample.advances * 4.0)
    assert "".join(g["text"] for g in glyphs) == SAMPLE


# text, layout options, write options, the tool's arguments for the same, outputs
TOOL_CASES = [
    pytest.param(SAMPLE, dict(align="center"), dict(edges=True),
                 ["--align", "center", "--edges"],
                 [".png", ".svg", ".json", ".stl", ".obj", ".glb", ".gltf"], id="sample-edges"),
    pytest.param(WRAPPED, dict(width=16.0, align="center", fallback=True), dict(size=2.5),
                 ["--width", "40", "--align", "center", "--size", "2.5"],
                 [".png", ".json", ".stl", ".glb"], id="wrapped-fallback-size"),
    pytest.param("AV Wa", {}, dict(merge=True), ["--merge"], [".glb", ".obj", ".stl"],
                 id="merged"),
    pytest.param("Glyva @8", {},
                 dict(size=2.0, color="#c0392b",
                      scene=dict(depth=0.5, bevel=0.05, bevel_segments=2)),
                 ["--size", "2", "--depth", "0.5", "--bevel", "0.05", "--bevel-segments", "2",
                  "--color", "#c0392b"],
                 [".png", ".svg", ".stl", ".obj", ".mtl", ".glb", ".3mf"], id="bevelled-solids"),
    pytest.param("abc \u05e9\u05dc\u05d5\u05dd",
                 dict(direction="rtl", letter_spacing=0.125, line_spacing=1.5),
                 dict(picture_width=500, picture_height=120),
                 ["--direction", "rtl", "--letter-spacing", "0.125", "--line-spacing", "1.5",
                  "--no-fallback", "--png-size", "500x120"],
                 [".png", ".svg", ".json", ".gltf"], id="rtl-spacing"),
]


def same_gltf(ours, theirs):
    """The same document but for its generator, and the same buffer."""
    (doc, buffer), (want, want_buffer) = read_gltf(ours), read_gltf(theirs)
    assert doc["asset"].pop("generator").startswith("glyva ")
    assert want["asset"].pop("generator").startswith("glyva-mesh ")
    assert doc == want
    assert buffer == want_buffer


@pytest.mark.parametrize("text,options,writing,arguments,extensions", TOOL_CASES)
def test_files_equal_the_tools(tmp_path, text, options, writing, arguments, extensions):
    tool = os.environ.get("GLYVA_MESH_TOOL")
    if not tool:
        pytest.skip("glyva-mesh is not built here")
    (tmp_path / "tool").mkdir()
    (tmp_path / "module").mkdir()
    outputs = [arg for ext in extensions if ext != ".mtl" for arg in ("-o", "out" + ext)]
    subprocess.run([tool, "--quiet", "--font", DEJAVU_SANS, *arguments, *outputs, text],
                   cwd=tmp_path / "tool", check=True)
    layout = glyva.layout(text, DEJAVU_SANS, **options)
    source = layout
    if "scene" in writing:  # solids: the scene's settings and size go to Layout.scene
        writing = dict(writing)
        source = layout.scene(writing.pop("size"), **writing.pop("scene"))
    for ext in extensions:
        if ext != ".mtl":  # the OBJ's material, written beside it
            glyva.write(source, str(tmp_path / "module" / ("out" + ext)), **writing)
    for ext in extensions:
        ours, theirs = (str(tmp_path / side / ("out" + ext)) for side in ("module", "tool"))
        if ext in (".glb", ".gltf"):
            same_gltf(ours, theirs)
            continue
        if ext == ".3mf":  # a zip package: the same parts but for time stamps and UUIDs
            with zipfile.ZipFile(ours) as a, zipfile.ZipFile(theirs) as b:
                assert a.namelist() == b.namelist()
                for name in a.namelist():
                    unique = re.compile(rb' p:UUID="[^"]*"')
                    assert unique.sub(b"", a.read(name)) == unique.sub(b"", b.read(name)), name
            continue
        with open(ours, "rb") as a, open(theirs, "rb") as b:
            mine, want = a.read(), b.read()
        if ext in (".obj", ".mtl"):  # the first line names the writer
            mine, want = mine.split(b"\n", 1)[1], want.split(b"\n", 1)[1]
        assert mine == want, ext


def test_a_right_to_left_font_of_its_own_writes_too(tmp_path):
    arabic = "\u0645\u0631\u062d\u0628\u0627 \u0628\u0643\u0645"
    layout = glyva.layout(arabic, NOTO_SANS_ARABIC)
    assert layout.lines.levels[0] == 1
    glyva.write(layout, str(tmp_path / "arabic.stl"))
    _, corners = read_stl(str(tmp_path / "arabic.stl"))
    assert len(corners) == len(layout.mesh().triangles)


# write arguments and the exception they raise
WRITE_FAILURES = [
    pytest.param(dict(path="text.dxf"), ValueError, "unknown output type '.dxf'", id="extension"),
    pytest.param(dict(path="text"), ValueError, "unknown output type", id="no-extension"),
    pytest.param(dict(path="missing/text.obj"), OSError, "missing", id="no-folder"),
    pytest.param(dict(path="te\0xt.obj"), ValueError, "NUL", id="nul-in-path"),
    pytest.param(dict(size=0.0), ValueError, "size", id="zero-size"),
    pytest.param(dict(picture_width=0), ValueError, "picture size", id="no-width"),
    pytest.param(dict(picture_width=16385), ValueError, "picture size", id="too-wide"),
    pytest.param(dict(picture_height=-1), ValueError, "picture size", id="negative-height"),
    pytest.param(dict(path="text.3mf"), ValueError, "solids", id="flat-3mf"),
    pytest.param(dict(color="blue"), ValueError, "#RRGGBB", id="bad-color"),
    pytest.param(dict(view="top"), ValueError, "'front' or 'perspective'", id="bad-view"),
]


@pytest.mark.parametrize("arguments,error,message", WRITE_FAILURES)
def test_write_failures_raise_and_leave_nothing(sample, tmp_path, arguments, error, message):
    arguments = dict(arguments)
    path = str(tmp_path / arguments.pop("path", "text.png"))
    with pytest.raises(error, match=message):
        glyva.write(sample, path, **arguments)
    assert os.listdir(tmp_path) == []


def test_writes_from_threads_at_once_are_each_complete(sample, tmp_path):
    # Files are written without the interpreter lock; the staging of each must stay
    # its own.
    from concurrent.futures import ThreadPoolExecutor

    scene = sample.scene()
    names = [f"text{i}{ext}" for i in range(12) for ext in (".stl", ".obj", ".glb", ".png")]
    with ThreadPoolExecutor(max_workers=4) as pool:
        list(pool.map(lambda name: glyva.write(scene, str(tmp_path / name)), names))
    materials = [name.replace(".obj", ".mtl") for name in names if name.endswith(".obj")]
    assert sorted(os.listdir(tmp_path)) == sorted(names + materials)
    merged = scene.merged()
    for name in names:
        if name.endswith(".stl"):
            _, corners = read_stl(str(tmp_path / name))
            np.testing.assert_array_equal(corners, merged.vertices[merged.triangles])
        elif name.endswith(".obj"):
            np.testing.assert_array_equal(read_obj(str(tmp_path / name))[0], merged.vertices)


def test_write_refuses_what_it_cannot_draw(tmp_path):
    blank = glyva.layout("  \n ", DEJAVU_SANS)
    for name in ("blank.obj", "blank.png"):
        with pytest.raises(ValueError, match="nothing to draw"):
            glyva.write(blank, str(tmp_path / name))
    glyva.write(blank, str(tmp_path / "blank.json"))  # a layout of spaces is a layout
    with pytest.raises(TypeError):
        glyva.write("Glyva", str(tmp_path / "text.obj"))
    with pytest.raises(ValueError, match="size"):
        glyva.write(blank.scene(), str(tmp_path / "text.json"), size=2.0)
    assert os.listdir(tmp_path) == ["blank.json"]


def test_a_layout_of_closed_fonts_writes_its_json_only(tmp_path):
    font = glyva.Font(DEJAVU_SANS)
    layout = glyva.layout("AV", font)
    font.close()
    glyva.write(layout, str(tmp_path / "layout.json"))
    with pytest.raises(ValueError, match="closed"):
        glyva.write(layout, str(tmp_path / "layout.obj"))
