import inspect
import threading

import numpy as np
import pytest

import kubic_rs
from conftest import sponge_file


@pytest.fixture
def reader():
    data = sponge_file(2, 1, 1, {(0, 0, 0): "minecraft:oak_stairs[facing=east,half=bottom]",
                                 (1, 0, 0): "minecraft:stone"})
    with kubic_rs.open(data) as r:
        yield r


def boundary_class(reader):
    return type(reader.boundary())


def test_boundary_forms_and_wrapping(reader):
    PyBoundary = boundary_class(reader)
    b = PyBoundary(-3, 0, 5, 16, 4, 16)
    assert str(b) == repr(b) == "Boundary(min=(-3, 0, 5), size=(16, 4, 16))"
    zero = PyBoundary(0, 0, 0, 0, 0, 0)
    assert str(zero) == "Boundary(min=(0, 0, 0), size=(0, 0, 0))"
    assert str(zero.max()) == "(-1, -1, -1)"
    assert PyBoundary(2147483647, 0, 0, 2, 1, 1).max().x() == -2147483648
    assert b.size() == (16, 4, 16) and isinstance(b.size(), tuple)
    assert (b.min_x(), b.min_y(), b.min_z(), b.d_x(), b.d_y(), b.d_z()) == (-3, 0, 5, 16, 4, 16)
    assert str(b.min()) == repr(b.min()) == "(-3, 0, 5)"
    assert PyBoundary(min_x=1, min_y=2, min_z=3, d_x=4, d_y=5, d_z=6).d_z() == 6
    assert PyBoundary(0, 0, 0, 4294967295, 1, 1).d_x() == 4294967295


@pytest.mark.parametrize("args, error, message", [
    ((0, 0, 0, -1, 1, 1), OverflowError, "out of range integral type conversion attempted"),
    ((0, 0, 0, 4294967296, 1, 1), OverflowError, "out of range integral type conversion attempted"),
    ((2147483648, 0, 0, 1, 1, 1), OverflowError, "out of range integral type conversion attempted"),
    ((0.5, 0, 0, 1, 1, 1), TypeError, "argument 'min_x': "),
    (("1", 0, 0, 1, 1, 1), TypeError, "argument 'min_x': "),
    ((0, 0, 0, 1, 1), TypeError, ""),
    ((0, 0, 0, 1, 1, 1, 1), TypeError, ""),
])
def test_boundary_constructor_refusals(reader, args, error, message):
    with pytest.raises(error) as info:
        boundary_class(reader)(*args)
    assert str(info.value).startswith(message)


def test_to_numpy_is_a_fresh_float_array(reader):
    b = boundary_class(reader)(1, 2, 3, 4, 5, 6)
    array = b.to_numpy()
    assert array.dtype == np.float64 and array.shape == (6,) and array.flags.c_contiguous
    assert array.tolist() == [1.0, 2.0, 3.0, 4.0, 5.0, 6.0]
    array[0] = 99
    assert str(b) == "Boundary(min=(1, 2, 3), size=(4, 5, 6))"
    assert b.to_numpy()[0] == 1.0


def test_block_and_state_forms(reader):
    stairs, stone = reader.read_full()
    assert str(stairs) == repr(stairs) == \
        "Block at (0, 0, 0) with state minecraft:oak_stairs[facing=east, half=bottom]"
    assert str(stone.state()) == "minecraft:stone[]"
    assert stone.state().properties() == []
    assert stairs.state().properties() == [("facing", "east"), ("half", "bottom")]
    assert stairs.state().id() == stairs.state().name() == "minecraft:oak_stairs"
    assert repr(stone.state()).startswith("<PyBlockState object at")
    assert stairs.state() is not stairs.state()
    assert str(stairs.state()) == str(stairs.state())
    assert (stairs.position() == stairs.position()) is False


def test_classes_are_builtins_without_constructors(reader):
    block = reader.read_full()[0]
    for obj in (block, block.state(), block.position(), reader.boundary(), reader):
        assert type(obj).__module__ == "builtins"
    assert [type(o).__name__ for o in (block, block.state(), block.position(), reader.boundary())] == \
        ["PyBlock", "PyBlockState", "PyBlockPosition", "PyBoundary"]
    for cls in (type(block), type(block.state()), type(block.position()), kubic_rs.KubicReader):
        with pytest.raises(TypeError):
            cls()


def test_every_method_has_a_signature(reader):
    block = reader.read_full()[0]
    objects = [block, block.state(), block.position(), reader.boundary(), reader]
    for obj in objects:
        for name in dir(type(obj)):
            member = getattr(type(obj), name)
            if name.startswith("__") and name not in ("__enter__", "__exit__"):
                continue
            signature = inspect.signature(member)
            assert list(signature.parameters)[0] == "self", (type(obj), name)
    assert str(inspect.signature(kubic_rs.open)) == "(input)"
    assert str(inspect.signature(kubic_rs.KubicReader.save)) == "(self, /, output, format='kub')"
    assert str(inspect.signature(kubic_rs.KubicReader.__exit__)) == "(self, /, _exc_type, _exc_val, _exc_tb)"
    assert str(inspect.signature(type(reader.boundary()))) == "(min_x, min_y, min_z, d_x, d_y, d_z)"


def test_dropping_a_state_on_another_thread_is_reported(reader, monkeypatch):
    import gc
    import sys
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: reports.append(str(report.exc_value)))
    holder = [reader.read_full()[0].state()]
    thread = threading.Thread(target=holder.clear)
    thread.start()
    thread.join()
    gc.collect()
    assert reports == ["kubic_rs::shared::PyBlockState is unsendable, but is being dropped on another thread"]


def test_states_stay_on_their_thread(reader):
    block = reader.read_full()[0]
    state = block.state()
    position = block.position()
    errors = []

    def use():
        for obj, path in ((block, "PyBlock"), (state, "PyBlockState")):
            try:
                str(obj)
            except RuntimeError as e:
                errors.append(str(e))
        try:
            reader.boundary()
        except RuntimeError as e:
            errors.append(str(e))
        errors.append(str(position))

    thread = threading.Thread(target=use)
    thread.start()
    thread.join()
    assert errors == ["kubic_rs::shared::PyBlock is unsendable, but sent to another thread",
                      "kubic_rs::shared::PyBlockState is unsendable, but sent to another thread",
                      "kubic_rs::reader::KubicReader is unsendable, but sent to another thread",
                      "(0, 0, 0)"]
