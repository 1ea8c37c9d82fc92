from typing import Any

import numpy as np
import numpy.typing as npt

def load(source: Any, format: str, /) -> tuple[str | None, tuple[int, int, int], tuple[int, int, int], list[str],
                                             npt.NDArray[np.uint16], list[tuple[tuple[int, int, int], Any]],
                                             list[tuple[tuple[float, float, float], Any]], int | None, Any]: ...
def save(target: Any, format: str, palette: list[str], blocks: npt.NDArray[Any], origin: tuple[int, ...],
         block_entities: list[tuple[tuple[int, ...], Any]], entities: list[tuple[tuple[float, ...], Any]],
         data_version: int | None, metadata: Any, sponge_version: int, /) -> None: ...
def register_nbt(classes: dict[str, type], /) -> None: ...
