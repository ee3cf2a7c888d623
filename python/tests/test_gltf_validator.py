"""The glTF files glyva.write makes pass the Khronos glTF validator (npm gltf-validator,
run by node through tests/tools/validate-gltf.js) without errors or warnings: binary
and JSON with its buffer, instanced and merged, flat text of several fonts and
bevelled solids with their texture coordinates and a colour. Where the
validator is not installed every test here is skipped, and the test is reported as
skipped."""

import json
import os
import shutil
import subprocess

import pytest

import glyva
from conftest import DEJAVU_SANS, NOTO_SANS_ARABIC, SOURCE_DIR

TEXT = "Glyva\nAVATAR @8 \u0645\u0631\u062d\u0628\u0627"


def validator_modules():
    folder = os.environ.get("GLTF_VALIDATOR_MODULES",
                            os.path.join(SOURCE_DIR, ".tools", "npm", "node_modules"))
    if not shutil.which("node") or not os.path.isdir(os.path.join(folder, "gltf-validator")):
        pytest.skip("the Khronos glTF validator is not installed: node and the npm package "
                    f"gltf-validator in {folder} (or GLTF_VALIDATOR_MODULES)")
    return folder


@pytest.mark.parametrize("extension,merge,size,solid", [
    pytest.param(".glb", False, 1.0, {}, id="glb-instanced"),
    pytest.param(".gltf", False, 10.0, {}, id="gltf-instanced"),
    pytest.param(".glb", True, 0.5, {}, id="glb-merged"),
    pytest.param(".gltf", True, 72.0, {}, id="gltf-merged"),
    pytest.param(".glb", False, 20.0, dict(depth=4.0, bevel=0.6, bevel_segments=3),
                 id="glb-bevelled"),
    pytest.param(".gltf", True, 20.0, dict(depth=4.0, bevel=0.6, bevel_front_only=True),
                 id="gltf-bevelled-merged"),
])
def test_gltf_files_pass_the_khronos_validator(tmp_path, extension, merge, size, solid):
    modules = validator_modules()
    path = str(tmp_path / ("text" + extension))
    layout = glyva.layout(TEXT, [DEJAVU_SANS, NOTO_SANS_ARABIC], align="center")
    if solid:
        glyva.write(layout.scene(size, **solid), path, merge=merge, color="#c0392b")
    else:
        glyva.write(layout, path, size=size, merge=merge)
    script = os.path.join(SOURCE_DIR, "tests", "tools", "validate-gltf.js")
    result = subprocess.run(["node", script, path], capture_output=True, text=True,
                            env=dict(os.environ, GLTF_VALIDATOR_MODULES=modules))
    assert result.returncode == 0, result.stdout + result.stderr
    report = json.loads(result.stdout)
    assert report["errors"] == report["warnings"] == 0
