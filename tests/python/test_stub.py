"""The type stub names what the package has, with the same parameters."""

import ast
import inspect
from pathlib import Path

import kestrl


def stub_functions():
    tree = ast.parse((Path(kestrl.__file__).parent / "__init__.pyi").read_text())
    found = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            found[node.name] = node
        elif isinstance(node, ast.ClassDef):
            found[node.name] = None
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    found[f"{node.name}.{item.name}"] = item
    return found


def parameters(node):
    args = node.args
    return [a.arg for a in args.posonlyargs + args.args + args.kwonlyargs if a.arg not in ("self", "cls")]


def test_the_stub_matches_the_package():
    stub = stub_functions()
    assert set(kestrl.__all__) <= set(stub)
    colour_settings = set(inspect.signature(kestrl.ColourTable).parameters)
    for name in ["halftone", "ColourTable.__init__", "HalftoneContext.__init__",
                 "HalftoneContext.run", "Pack.replace", "ColourTable.lookup"]:
        owner, _, member = name.rpartition(".")
        real = getattr(getattr(kestrl, owner), member) if owner else getattr(kestrl, name)
        named = [p.name for p in inspect.signature(real).parameters.values()
                 if p.kind is not p.VAR_KEYWORD and p.name != "self"]
        stubbed = parameters(stub[name])
        assert stubbed[:len(named)] == named, name
        assert set(stubbed[len(named):]) <= colour_settings, name
