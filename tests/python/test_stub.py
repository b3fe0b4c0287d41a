"""The type stub names what the package has, with the same parameters."""

import ast
import inspect
from pathlib import Path

import kestrl


def stub_functions():
    """The stub's functions by name, and the keys of each TypedDict."""
    tree = ast.parse((Path(kestrl.__file__).parent / "__init__.pyi").read_text())
    found, typed_dicts = {}, {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            found[node.name] = node
        elif isinstance(node, ast.ClassDef):
            found[node.name] = None
            typed_dicts[node.name] = [i.target.id for i in node.body if isinstance(i, ast.AnnAssign)]
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    found[f"{node.name}.{item.name}"] = item
    return found, typed_dicts


def stub_parameters(node, typed_dicts):
    """Positional parameters in order, and the keywords with **Unpack[...] spelled out."""
    a = node.args
    unpacked = typed_dicts[a.kwarg.annotation.slice.id] if a.kwarg else []
    return [p.arg for p in a.args if p.arg not in ("self", "cls")], {k.arg for k in a.kwonlyargs} | set(unpacked)


def real_parameters(function, colour_settings):
    """The same for the package, where **colour_settings takes the ColourTable's settings."""
    params = [p for p in inspect.signature(function).parameters.values() if p.name != "self"]
    keywords = {p.name for p in params if p.kind is p.KEYWORD_ONLY}
    if any(p.kind is p.VAR_KEYWORD for p in params):
        keywords |= colour_settings
    return [p.name for p in params if p.kind is p.POSITIONAL_OR_KEYWORD], keywords


def test_the_stub_matches_the_package():
    stub, typed_dicts = stub_functions()
    assert set(kestrl.__all__) <= set(stub)
    colour_settings = set(typed_dicts["_ColourSettings"])
    for name in ["halftone", "ColourTable.__init__", "HalftoneContext.__init__",
                 "HalftoneContext.run", "Pack.replace", "ColourTable.lookup"]:
        owner, _, member = name.rpartition(".")
        real = getattr(getattr(kestrl, owner), member) if owner else getattr(kestrl, name)
        assert stub_parameters(stub[name], typed_dicts) == real_parameters(real, colour_settings), name
