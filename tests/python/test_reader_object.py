import pytest

import kubic_rs
from conftest import describe, sponge_file


def many_blocks(count):
    width = 100
    cells = {(i % width, 0, i // width): "minecraft:stone" for i in range(count)}
    return sponge_file(width, 1, (count + width - 1) // width, cells)


@pytest.fixture
def data():
    return many_blocks(3000)


def fresh(data):
    return kubic_rs.open(data)


def expect(message, fn, *args):
    with pytest.raises(RuntimeError) as info:
        fn(*args)
    assert str(info.value) == message


def test_state_checks_in_table_order(data):
    r = fresh(data)
    expect("Cannot get boundary without entering context", r.boundary)
    expect("Cannot read without entering context", r.read_full)
    expect("Cannot iterate without entering context", r.iterate_blocks, print)
    expect("Cannot iterate without entering context", next, r)
    expect("Cannot exit context without entering", r.__exit__, None, None, None)
    expect("Cannot get boundary without entering context", r.save, __import__("io").BytesIO())

    r.__enter__()
    expect("Cannot enter context multiple times", r.__enter__)
    expect("Iterator not initialized, call iter_bulks() first", next, r)
    assert r.iter_bulks() is r
    expect("Iterator already called", r.iter_blocks)
    expect("Cannot read full after iterating", r.read_full)
    expect("Iterator already called", r.iterate_blocks, print)
    assert str(r.boundary()) == "Boundary(min=(0, 0, 0), size=(100, 1, 30))"
    r.__exit__(None, None, None)
    expect("Reader is already closed", r.__exit__, None, None, None)
    expect("Cannot enter context multiple times", r.__enter__)
    expect("Reader is closed", r.boundary)
    expect("Reader is closed", r.read_full.__call__) if False else None
    expect("Reader is closed", r.iter_bulks)
    expect("Reader is closed", r.save, __import__("io").BytesIO())
    assert r.close() is None and r.close() is None
    assert iter(r) is r
    assert str(r) == "kubic_rs.read() block"

    closed_first = fresh(data)
    closed_first.close()
    expect("Reader is already closed", closed_first.__enter__)

    iterated_first = fresh(data)
    iterated_first.iter_bulks()
    expect("Cannot enter context again after iterating", iterated_first.__enter__)


def test_close_inside_the_with_block_fails_its_exit(data):
    with pytest.raises(RuntimeError, match="^Reader is already closed$"):
        with fresh(data) as r:
            r.close()


def test_bulk_iteration_and_read_full_agree(data):
    with fresh(data) as r:
        bulks = list(r.iter_bulks())
    assert [len(b) for b in bulks] == [3000]
    with fresh(many_blocks(20000)) as r:
        sizes = [len(b) for b in r.iter_blocks()]
        with pytest.raises(StopIteration, match="End of stream"):
            next(r)
    assert sizes == [8192, 8192, 3616]
    with fresh(data) as r:
        full = r.read_full()
        assert r.read_full() == []
    assert describe(full) == describe(bulks[0])


def test_iterate_blocks_passes_one_batch_per_call(data):
    seen = []
    with fresh(data) as r:
        assert r.iterate_blocks(seen.append) is None
        assert len(seen) == 1024
        r.iterate_blocks(seen.append)
        assert len(seen) == 2048

        def raising(block):
            seen.append(block)
            raise ValueError("ignored")

        r.iterate_blocks(raising)
        assert len(seen) == 3000
        r.iterate_blocks(raising)
        with pytest.raises(TypeError):
            with fresh(data) as other:
                other.iterate_blocks(42)


def test_reentrant_use_is_refused(data):
    refusals = []
    with fresh(data) as r:
        def reenter(block):
            for fn in (r.boundary, r.read_full, r.close):
                try:
                    fn()
                except RuntimeError as e:
                    refusals.append(str(e))
            try:
                str(r)
            except RuntimeError as e:
                refusals.append(str(e))
        r.iterate_blocks(reenter)
        assert str(r.boundary())
    assert refusals[:4] == ["Already borrowed", "Already borrowed", "Already borrowed",
                            "Already mutably borrowed"]


def test_core_errors_become_runtime_errors():
    with kubic_rs.open(b"not gzip at all") as r:
        expect("No matching format found", r.read_full)
        assert r.read_full.__self__ is r
    with kubic_rs.open(b"not gzip at all") as r:
        expect("Failed to read boundary", r.boundary)
