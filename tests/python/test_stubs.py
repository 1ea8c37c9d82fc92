import ast
import inspect
import pathlib
import subprocess
import sys

import pytest

import kubic_rs
from conftest import sponge_file

STUB = pathlib.Path(__file__).resolve().parents[2] / "bindings" / "kubic_rs" / "kubic_rs.pyi"


def stub_functions():
    """(class name or None, function name, parameter names) from the stub."""
    tree = ast.parse(STUB.read_text())
    out = []
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            out.append((None, node.name, [a.arg for a in node.args.args]))
        elif isinstance(node, ast.ClassDef) and not node.name.startswith("_"):
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    out.append((node.name, item.name, [a.arg for a in item.args.args]))
    return out


def runtime_classes():
    with kubic_rs.open(sponge_file(1, 1, 1, {(0, 0, 0): "minecraft:stone"})) as reader:
        block = reader.read_full()[0]
        return {"PyBoundary": type(reader.boundary()), "PyBlockPosition": type(block.position()),
                "PyBlockState": type(block.state()), "PyBlock": type(block), "KubicReader": kubic_rs.KubicReader}


@pytest.mark.parametrize("owner, name, params", stub_functions())
def test_stub_matches_the_module(owner, name, params):
    if owner is None:
        target = getattr(kubic_rs, name)
    else:
        target = getattr(runtime_classes()[owner], name)
    if name == "__init__":
        signature = inspect.signature(runtime_classes()[owner])
        assert ["self", *signature.parameters] == params
        return
    if name in ("__iter__", "__next__"):
        return
    assert list(inspect.signature(target).parameters) == params


def test_strict_mypy_accepts_an_example(tmp_path):
    pytest.importorskip("mypy")
    example = tmp_path / "example.py"
    example.write_text('''
import io
import kubic_rs


def use(path: str) -> int:
    count = 0
    with kubic_rs.open(path) as reader:
        boundary = reader.boundary()
        print(boundary.min().x(), boundary.max().y(), boundary.size(), boundary.to_numpy().sum())
        print(boundary.min_x() + boundary.min_y() + boundary.min_z() + boundary.d_x() + boundary.d_y() + boundary.d_z())
        for bulk in reader.iter_bulks():
            for block in bulk:
                state = block.state()
                print(block.position().z(), state.id(), state.name(), state.properties())
                count += 1
    with kubic_rs.open(b"...") as other:
        other.iterate_blocks(lambda block: print(block))
        print(len(other.read_full()))
        other.save(io.BytesIO(), "sponge")
        other.save("out.kub")
    again = kubic_rs.open(io.BytesIO(b"")).iter_blocks()
    for bulk in again:
        count += len(bulk)
    again.close()
    return count
''')
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", str(example)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout


def test_the_api_tour_type_checks_strictly():
    tour = pathlib.Path(__file__).resolve().parents[2] / "examples" / "api_tour.py"
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", str(tour)], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout


def test_the_api_tour_runs(capsys):
    import runpy
    root = pathlib.Path(__file__).resolve().parents[2]
    runpy.run_path(str(root / "examples" / "api_tour.py"), run_name="tour")["tour"](str(root / "examples" / "house.schem"))
    assert "unknown: no reader recognises this input" in capsys.readouterr().out


def test_the_streaming_module_explains_its_one_pass_reader():
    import pydoc
    import kubic_rs
    text = pydoc.render_doc(kubic_rs, renderer=pydoc.plaintext)
    assert "one-pass" in text and "kubic.load" in text and "kubic.iter_chunks" in text
    with kubic_rs.open(b"") as reader:
        reader_type = type(reader)
    assert "consumed" in reader_type.__doc__
    for name in ("__enter__", "__exit__", "close", "boundary", "iter_bulks", "iter_blocks", "read_full",
                 "iterate_blocks", "save"):
        doc = getattr(reader_type, name).__doc__
        assert doc and doc.strip(), name
