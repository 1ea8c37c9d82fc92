import gc
import io
import resource

import kubic_rs
from conftest import sponge_file


def rss_kb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def test_repeated_use_keeps_objects_and_memory_flat(sample_cells):
    data = sponge_file(6, 4, 5, sample_cells)
    seen = []

    def cycle():
        with kubic_rs.open(data) as r:
            r.boundary().to_numpy()
            blocks = r.read_full()
            for b in blocks:
                str(b), b.state().properties(), b.position().x()
        with kubic_rs.open(io.BytesIO(data)) as r:
            for bulk in r.iter_bulks():
                seen.extend(bulk[:1])
        with kubic_rs.open(data) as r:
            r.iterate_blocks(lambda b: None)
        with kubic_rs.open(data) as r:
            r.save(io.BytesIO(), "sponge")
        seen.clear()

    for _ in range(200):
        cycle()
    gc.collect()
    objects, memory = len(gc.get_objects()), rss_kb()
    for _ in range(3000):
        cycle()
    gc.collect()
    assert len(gc.get_objects()) <= objects + 50
    assert rss_kb() - memory < 20_000
