"""The few things every installation must do: load, save, convert, the
command line. Prints one line and exits non-zero on any failure."""
import pathlib
import subprocess
import sys

import kubic
import kubic_rs

source, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
out.mkdir(parents=True, exist_ok=True)
s = kubic.load(source)
counts = s.counts()
for name in ("house.kub", "house.nbt", "house.schem"):
    s.save(out / name)
    assert kubic.load(out / name).counts() == counts, name
with kubic_rs.open(str(source)) as reader:
    reader.save(str(out / "streamed.kub"), "kub")
cli = [sys.executable, "-m", "kubic"]
subprocess.run(cli + ["convert", str(source), str(out / "cli.nbt")], check=True, capture_output=True)
info = subprocess.run(cli + ["info", str(out / "cli.nbt"), "--json"], check=True, capture_output=True, text=True)
assert '"format": "structure"' in info.stdout
print(f"smoke {sys.version_info[0]}.{sys.version_info[1]}: 1 passed, 0 failed")
