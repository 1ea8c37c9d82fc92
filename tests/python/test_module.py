import kubic_rs


def test_module_exposes_only_its_designed_names():
    public = {name for name in dir(kubic_rs) if not name.startswith("__")}
    assert public <= {"open", "KubicReader"}
    assert not hasattr(kubic_rs, "PyBoundary")
