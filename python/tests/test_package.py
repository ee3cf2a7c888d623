"""The package as a user meets it: its version and licence, its names, docstrings on
everything public, and typed stubs that agree with the compiled module."""

import ast
import inspect
import os
import re

import pytest

import glyva
from glyva import _glyva

STUBS = os.path.join(os.path.dirname(_glyva.__file__), "_glyva.pyi")
# Special methods a user calls through syntax; the stubs must declare them too.
SPECIAL = {"__init__", "__enter__", "__exit__", "__len__"}


def stub_tree():
    with open(STUBS) as stubs:
        return ast.parse(stubs.read())


def stub_classes():
    """Each stub class: its base names and its members with their parameter names
    ('*' where keyword-only ones begin)."""
    classes = {}
    for node in stub_tree().body:
        if not isinstance(node, ast.ClassDef):
            continue
        members = {}
        for item in node.body:
            if isinstance(item, ast.FunctionDef):
                a = item.args
                names = [p.arg for p in a.posonlyargs + a.args]
                if a.kwonlyargs:
                    names += ["*"] + [p.arg for p in a.kwonlyargs]
                members.setdefault(item.name, names)
        classes[node.name] = ([ast.unparse(b) for b in node.bases], members)
    return classes


def runtime_members(cls):
    """Public members and bound special methods; the __init__ pybind11 gives a class
    without a constructor only refuses and is left out."""
    members = {}
    for name, value in vars(cls).items():
        if name.startswith("_") and name not in SPECIAL:
            continue
        if name == "__init__" and not (value.__doc__ or "").startswith("__init__("):
            continue
        members[name] = value
    return members


def runtime_parameters(function):
    """Parameter names from pybind11's signature line, e.g.
    'shape(self: glyva.Font, text: object, *, script: ...) -> glyva.ShapedText'."""
    signature = function.__doc__.splitlines()[0]
    inside = signature[signature.index("(") + 1 : signature.rindex(") ->")]
    parts, depth, current = [], 0, ""
    for char in inside:
        depth += char in "[("
        depth -= char in "])"
        if char == "," and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += char
    parts.append(current)
    return [re.split(r"[:=]", part.strip())[0].strip() for part in parts if part.strip()]


def test_version_and_licence():
    assert glyva.__version__ == os.environ.get("GLYVA_VERSION", glyva.__version__)
    assert re.fullmatch(r"\d+\.\d+\.\d+", glyva.__version__)
    assert glyva.__license__ == "MIT"


def test_the_package_exports_what_the_module_has():
    public = {name for name in vars(_glyva) if not name.startswith("_")}
    assert set(glyva.__all__) == public
    for name in glyva.__all__:
        assert getattr(glyva, name) is getattr(_glyva, name)


def stub_functions():
    """Each module-level stub function: its parameter names ('*' where keyword-only
    ones begin)."""
    functions = {}
    for node in stub_tree().body:
        if isinstance(node, ast.FunctionDef):
            a = node.args
            names = [p.arg for p in a.posonlyargs + a.args]
            if a.kwonlyargs:
                names += ["*"] + [p.arg for p in a.kwonlyargs]
            functions[node.name] = names
    return functions


def test_stubs_declare_every_name_of_the_module():
    declared = set(stub_functions())
    aliases = set()
    for node in stub_tree().body:
        if isinstance(node, ast.ClassDef):
            declared.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            declared.add(node.target.id)
        elif isinstance(node, ast.Assign):
            aliases.update(target.id for target in node.targets)
    runtime = {name for name in vars(_glyva) if not name.startswith("_")}
    runtime |= {"__version__", "__license__"}
    assert runtime <= declared, "missing from the stubs"
    assert not declared - runtime, "in the stubs only"
    assert aliases == {"Direction", "ParagraphDirection", "Align", "FontLike"}


@pytest.mark.parametrize("name", sorted(stub_functions()))
def test_stub_functions_match_the_module(name):
    assert stub_functions()[name] == runtime_parameters(getattr(_glyva, name))


@pytest.mark.parametrize("name", sorted(stub_classes()))
def test_stub_classes_match_the_module(name):
    bases, members = stub_classes()[name]
    cls = getattr(_glyva, name)
    if issubclass(cls, BaseException):
        assert [b.__name__ for b in cls.__bases__] == [b.split(".")[-1] for b in bases]
        return
    assert not bases, "the compiled classes derive from nothing the stubs should name"
    runtime = runtime_members(cls)
    assert set(members) == set(runtime)
    for member, parameters in members.items():
        value = runtime[member]
        if isinstance(value, property):
            continue
        assert parameters == runtime_parameters(value), f"{name}.{member}"


@pytest.mark.parametrize("name", sorted(glyva.__all__))
def test_everything_public_has_a_docstring(name):
    obj = getattr(glyva, name)
    assert inspect.getdoc(obj), name
    if not inspect.isclass(obj) or issubclass(obj, BaseException):
        return
    for member, value in runtime_members(obj).items():
        if member in SPECIAL:
            continue
        doc = value.__doc__ or ""
        if not isinstance(value, property):
            doc = "\n".join(doc.splitlines()[1:])  # pybind11 puts the signature first
        assert doc.strip(), f"{name}.{member}"


def test_module_docstring_example_runs():
    # The package docstring shows the calling pattern; it must keep working.
    lines = inspect.getdoc(glyva).split("::", 1)[1].splitlines()[1:]
    block = []
    for line in lines:
        if line and not line.startswith(" "):
            break
        block.append(line)
    namespace = {}
    exec(compile(inspect.cleandoc("\n".join(block)), "glyva docstring", "exec"), namespace)
    assert namespace["placed"].shape[1] == 2
