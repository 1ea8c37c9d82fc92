import pathlib

import pytest

CORPUS = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "corpus"


def corpus_files(folder, suffix):
    """Corpus files of one format; empty when the corpus is absent."""
    if not CORPUS.is_dir():
        return []
    return sorted((CORPUS / folder).glob("*" + suffix))


@pytest.fixture
def corpus():
    if not CORPUS.is_dir():
        pytest.skip("corpus folder absent")
    return CORPUS
